// Renames dynamic symbols of an ELF64 shared object in place and rebuilds its
// SysV hash table. GNU ld reads an '@' in a symbol name as a version marker,
// so names such as "@Log@C6_4" are linked under placeholders of the same
// length and given their real names here.
//
// usage: elf_rename FILE PLACEHOLDER=NAME...
#include <elf.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::uint32_t ElfHash(const unsigned char* nome) {
    std::uint32_t h = 0;
    while (*nome != 0) {
        h = (h << 4) + *nome++;
        std::uint32_t g = h & 0xf0000000u;
        if (g != 0) h ^= g >> 24;
        h &= ~g;
    }
    return h;
}

int Falha(const char* motivo) {
    std::fprintf(stderr, "elf_rename: %s\n", motivo);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Falha("usage: elf_rename FILE PLACEHOLDER=NAME...");
    std::ifstream entrada(argv[1], std::ios::binary);
    std::vector<unsigned char> img((std::istreambuf_iterator<char>(entrada)), std::istreambuf_iterator<char>());
    entrada.close();
    if (img.size() < sizeof(Elf64_Ehdr) || std::memcmp(img.data(), ELFMAG, SELFMAG) != 0 ||
        img[EI_CLASS] != ELFCLASS64)
        return Falha("not an ELF64 file");
    auto* eh = reinterpret_cast<Elf64_Ehdr*>(img.data());
    auto* sh = reinterpret_cast<Elf64_Shdr*>(img.data() + eh->e_shoff);
    Elf64_Shdr *dynsym = nullptr, *hash = nullptr;
    for (int i = 0; i < eh->e_shnum; ++i) {
        if (sh[i].sh_type == SHT_DYNSYM) dynsym = &sh[i];
        if (sh[i].sh_type == SHT_HASH) hash = &sh[i];
        if (sh[i].sh_type == SHT_GNU_HASH) return Falha("has .gnu.hash: link with --hash-style=sysv");
    }
    if (dynsym == nullptr || hash == nullptr) return Falha("no .dynsym or .hash");
    char* dynstr = reinterpret_cast<char*>(img.data() + sh[dynsym->sh_link].sh_offset);
    auto* simbolos = reinterpret_cast<Elf64_Sym*>(img.data() + dynsym->sh_offset);
    const std::size_t n = dynsym->sh_size / sizeof(Elf64_Sym);

    for (int a = 2; a < argc; ++a) {
        std::string par = argv[a];
        std::size_t igual = par.find('=');
        if (igual == std::string::npos || igual * 2 + 1 != par.size()) return Falha("PLACEHOLDER=NAME of one length");
        std::string de = par.substr(0, igual), para = par.substr(igual + 1);
        bool achou = false;
        for (std::size_t i = 1; i < n; ++i) {
            char* nome = dynstr + simbolos[i].st_name;
            if (de == nome) {
                std::memcpy(nome, para.data(), para.size());
                achou = true;
            }
        }
        if (!achou) return Falha(("no symbol " + de).c_str());
    }

    auto* h = reinterpret_cast<std::uint32_t*>(img.data() + hash->sh_offset);
    const std::uint32_t nbucket = h[0];
    if (h[1] != n) return Falha("hash table does not match .dynsym");
    std::uint32_t* bucket = h + 2;
    std::uint32_t* chain = bucket + nbucket;
    std::fill(bucket, bucket + nbucket, 0u);
    std::fill(chain, chain + n, 0u);
    for (std::size_t i = 1; i < n; ++i) {
        std::uint32_t b = ElfHash(reinterpret_cast<unsigned char*>(dynstr + simbolos[i].st_name)) % nbucket;
        chain[i] = bucket[b];
        bucket[b] = static_cast<std::uint32_t>(i);
    }
    std::ofstream saida(argv[1], std::ios::binary | std::ios::trunc);
    saida.write(reinterpret_cast<const char*>(img.data()), static_cast<std::streamsize>(img.size()));
    return saida ? 0 : Falha("cannot write the file");
}
