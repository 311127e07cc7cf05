// pivana-bench-fixtures dng PATH WIDTH HEIGHT: writes a benchmark input.
#include "support/DngWriter.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5 || std::string(argv[1]) != "dng") {
        std::fprintf(stderr, "usage: pivana-bench-fixtures dng PATH WIDTH HEIGHT\n");
        return 2;
    }
    return pivana::test::writeDng(argv[2], std::atoi(argv[3]), std::atoi(argv[4])) ? 0 : 1;
}
