// make-update-archive OUT SOURCE NAME [SOURCE NAME...]: writes a database
// update archive: each SOURCE stored as NAME (plain text), plus "un.pac"
// listing every NAME, so the updater enciphers them after unpacking.
#include "support/RarWriter.h"

#include <cstdio>
#include <fstream>
#include <sstream>

int main(int argc, char** argv) {
    if (argc < 4 || argc % 2 != 0) {
        std::fputs("usage: make-update-archive OUT SOURCE NAME [SOURCE NAME...]\n", stderr);
        return 2;
    }
    std::vector<lb::test::RarEntry> entries;
    std::string list;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "make-update-archive: cannot read %s\n", argv[i]);
            return 1;
        }
        std::ostringstream data;
        data << in.rdbuf();
        lb::test::RarEntry e;
        e.name = argv[i + 1];
        e.data = data.str();
        entries.push_back(e);
        list += e.name + "\r\n";
    }
    lb::test::RarEntry pac;
    pac.name = "un.pac";
    pac.data = list;
    entries.push_back(pac);
    if (!lb::test::writeRarArchive(argv[1], entries)) {
        std::fprintf(stderr, "make-update-archive: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
