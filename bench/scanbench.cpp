// scanbench FILE [PIECE]: the tool-log scan run natively on one file, read in
// pieces of PIECE bytes (255 by default, as the program reads its log) and fed
// to LogScanFeed. Prints which markers it found. Benchmark only.
#include "update/logscan.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "usage: scanbench FILE [PIECE]\n");
        return 2;
    }
    size_t piece = argc == 3 ? strtoul(argv[2], nullptr, 10) : 255;
    if (piece == 0 || piece > 1 << 20) {
        fprintf(stderr, "scanbench: piece size out of range\n");
        return 2;
    }
    FILE* f = fopen(argv[1], "rb");
    if (!f) {
        perror(argv[1]);
        return 2;
    }
    char* buf = static_cast<char*>(malloc(piece));
    LogScan scan;
    LogScanStart(&scan);
    for (;;) {
        size_t got = fread(buf, 1, piece, f);
        LogScanFeed(&scan, buf, got);
        if (got < piece) break;
    }
    fclose(f);
    free(buf);
    printf("bios %d driver %d\n", scan.bios ? 1 : 0, scan.driver ? 1 : 0);
    return 0;
}
