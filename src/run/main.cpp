#include "run/updaterun.h"

int main(int argc, char** argv) {
    return UpdateRun(argc, argv);
}
