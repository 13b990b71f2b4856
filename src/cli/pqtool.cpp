// pqtool: headless inspection and conversion of Pixquil's files over the same core code.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(argc < 2 ? stderr : stdout, "usage: pqtool COMMAND [ARGS]\n");
        return argc < 2 ? 2 : 0;
    }
    std::fprintf(stderr, "pqtool: unknown command '%s'\n", argv[1]);
    return 2;
}
