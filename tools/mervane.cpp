// mervane.exe stand-in for tests and the demo: it installs nothing. It checks
// its command line, records it, and writes the tool log a scenario asks for.
//
// Accepted command lines (the first word with or without a path or quotes):
//   mervane.exe /l <log> /s /noreboot /i <file> /oisafe12     first run
//   mervane.exe /l <log> /s /noreboot /i <file> /oinowdp      re-run
// Words are separated by single blanks, nothing follows the last option, and
// <file> must exist. Anything else is refused: a message on stderr, exit 2.
//
// Trace: every invocation appends its raw command line (GetCommandLineA) as
// one line to the file named by the environment variable MERVANE_TRACE, or
// else to "mervane.trace" next to this program. A refused line is written as
// "REFUSED: " followed by the raw line.
//
// Scenario: "mervane.scenario" next to this program, one entry a line:
//   first <kind>     the log written by the first run (/oisafe12)
//   rerun <kind>     the log written by the re-run (/oinowdp)
//   exit <n>         exit code of every accepted run (default 0)
// Blank lines and lines starting with # are skipped. A run without an entry,
// or with no scenario file at all, writes a clean log. Kinds:
//   clean    no marker
//   driver   "Error Code 28:" (driver back-level)
//   bios     "Error Code 29:" (BIOS back-level)
//   both     both markers, on separate lines
//   none     writes no log and leaves any existing one alone
//   crlf     the driver marker, every line ending in CR LF
//   long     a first line of 300 characters whose driver marker starts at its
//            251st character, so it straddles the 255th
//   nul      a zero byte before the driver marker in the same line
//   file:<name>  the bytes of the named file next to this program
// Logs are written byte for byte (lines end in LF unless said otherwise).
// An unreadable scenario entry ends the run with exit code 3, no log.
//
// Nothing is printed on standard output.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

std::string ExeFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n < MAX_PATH ? n : 0);
    size_t slash = p.find_last_of('\\');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

void Trace(const std::string& line) {
    const char* env = getenv("MERVANE_TRACE");
    std::string path = env && *env ? env : ExeFolder() + "mervane.trace";
    FILE* f = fopen(path.c_str(), "ab");
    if (!f) {
        fprintf(stderr, "mervane: cannot write trace %s\n", path.c_str());
        return;
    }
    fputs(line.c_str(), f);
    fputc('\n', f);
    fclose(f);
}

// What follows the program's own name, as the raw line has it.
std::string AfterFirstWord(const std::string& raw) {
    size_t end;
    if (!raw.empty() && raw[0] == '"') {
        size_t close = raw.find('"', 1);
        end = close == std::string::npos ? raw.size() : close + 1;
    } else {
        end = raw.find_first_of(" \t");
        if (end == std::string::npos) end = raw.size();
    }
    return raw.substr(end);
}

std::vector<std::string> SplitOnBlanks(const std::string& s) {
    std::vector<std::string> words;
    size_t start = 0;
    for (;;) {
        size_t blank = s.find(' ', start);
        words.push_back(s.substr(start, blank == std::string::npos ? std::string::npos : blank - start));
        if (blank == std::string::npos) return words;
        start = blank + 1;
    }
}

bool Usable(const std::string& word) {
    return !word.empty() && word.find_first_of("\"\t") == std::string::npos;
}

// Fills log, file and rerun from an accepted line; otherwise returns why not.
std::string Check(const std::string& raw, std::string& log, std::string& file, bool& rerun) {
    std::string first = raw.substr(0, raw.size() - AfterFirstWord(raw).size());
    std::string name = first;
    if (!name.empty() && name[0] == '"') name = name.substr(1, name.size() >= 2 ? name.size() - 2 : 0);
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (name != "mervane.exe") return "unexpected program name";
    std::string rest = AfterFirstWord(raw);
    if (rest.empty() || rest[0] != ' ') return "no options";
    std::vector<std::string> w = SplitOnBlanks(rest.substr(1));
    if (w.size() != 7 || w[0] != "/l" || w[2] != "/s" || w[3] != "/noreboot" || w[4] != "/i")
        return "options other than /l <log> /s /noreboot /i <file> /oisafe12|/oinowdp";
    if (w[6] != "/oisafe12" && w[6] != "/oinowdp") return "last option is neither /oisafe12 nor /oinowdp";
    if (!Usable(w[1]) || !Usable(w[5])) return "log or file name not usable";
    if (GetFileAttributesA(w[5].c_str()) == INVALID_FILE_ATTRIBUTES) return "no such file: " + w[5];
    log = w[1];
    file = w[5];
    rerun = w[6] == "/oinowdp";
    return "";
}

bool ReadBytes(const std::string& path, std::string& out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return true;
}

std::string Lines(const std::vector<std::string>& lines, const char* end) {
    std::string s;
    for (const std::string& l : lines) s += l + end;
    return s;
}

// The log's bytes for a kind; false for an unknown kind.
bool LogFor(const std::string& kind, const std::string& file, std::string& bytes) {
    const std::string head = "mervane stand-in: update of " + file;
    const std::string done = "Update finished.";
    const std::string driver = "Error Code 28: the driver is back-level";
    const std::string bios = "Error Code 29: the BIOS is back-level";
    if (kind == "clean") {
        bytes = Lines({head, "Driver level current.", done}, "\n");
    } else if (kind == "driver") {
        bytes = Lines({head, driver, done}, "\n");
    } else if (kind == "bios") {
        bytes = Lines({head, bios, done}, "\n");
    } else if (kind == "both") {
        bytes = Lines({head, bios, driver, done}, "\n");
    } else if (kind == "crlf") {
        bytes = Lines({head, driver, done}, "\r\n");
    } else if (kind == "long") {
        std::string line = std::string(250, '.') + driver;
        line += std::string(300 - line.size(), '.');
        bytes = Lines({line, done}, "\n");
    } else if (kind == "nul") {
        bytes = Lines({head, std::string("status") + '\0' + " " + driver, done}, "\n");
    } else if (kind.compare(0, 5, "file:") == 0) {
        return ReadBytes(ExeFolder() + kind.substr(5), bytes);
    } else {
        return false;
    }
    return true;
}

struct Scenario {
    std::string first = "clean";
    std::string rerun = "clean";
    int exitCode = 0;
    std::string error;
};

Scenario LoadScenario() {
    Scenario s;
    std::string text;
    if (!ReadBytes(ExeFolder() + "mervane.scenario", text)) return s;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        start = nl + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        size_t blank = line.find(' ');
        std::string key = line.substr(0, blank);
        std::string value = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (key == "first") {
            s.first = value;
        } else if (key == "rerun") {
            s.rerun = value;
        } else if (key == "exit" && !value.empty()) {
            s.exitCode = atoi(value.c_str());
        } else {
            s.error = "unreadable scenario line: " + line;
        }
    }
    return s;
}

}  // namespace

int main() {
    std::string raw = GetCommandLineA();
    std::string log, file;
    bool rerun = false;
    std::string why = Check(raw, log, file, rerun);
    if (!why.empty()) {
        Trace("REFUSED: " + raw);
        fprintf(stderr, "mervane: refused (%s): %s\n", why.c_str(), raw.c_str());
        return 2;
    }
    Trace(raw);

    Scenario s = LoadScenario();
    if (!s.error.empty()) {
        fprintf(stderr, "mervane: %s\n", s.error.c_str());
        return 3;
    }
    const std::string& kind = rerun ? s.rerun : s.first;
    if (kind == "none") return s.exitCode;
    std::string bytes;
    if (!LogFor(kind, file, bytes)) {
        fprintf(stderr, "mervane: no log for scenario kind %s\n", kind.c_str());
        return 3;
    }
    FILE* f = fopen(log.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "mervane: cannot write log %s\n", log.c_str());
        return 3;
    }
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return s.exitCode;
}
