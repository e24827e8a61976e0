#include "common/dbcs.h"

namespace {

// Every trail byte of the double-byte code pages is 0x40 or above; a lower
// byte after a lead byte is no trail byte and is read as itself.
bool TrailByte(unsigned char c) { return c >= 0x40 && c != 0x7F; }

}  // namespace

size_t CharBytes(const char* text, LeadByteTest isLeadByte) {
    unsigned char c = static_cast<unsigned char>(text[0]);
    if (c == 0) return 0;
    if (isLeadByte != nullptr && isLeadByte(c) && TrailByte(static_cast<unsigned char>(text[1]))) return 2;
    return 1;
}

bool EndsInBackslash(const char* text, LeadByteTest isLeadByte) {
    bool last = false;
    for (size_t n = CharBytes(text, isLeadByte); n != 0; text += n, n = CharBytes(text, isLeadByte))
        last = n == 1 && text[0] == '\\';
    return last;
}
