// Prints COUNT eight-digit codes (default 200,000) that a plain multiplicative hash, the high half
// of code * 0x9E3779B97F4A7C15, sends into the first 2,048 of 2^19 slots: in a table indexed by that
// hash with linear probing they pile up into one run, and each insert walks it. The import's index
// must take them as fast as random codes. Usage: quillon_collide_codes [COUNT]
#include <cstdint>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const unsigned long count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
    unsigned long printed = 0;
    for (std::uint64_t code = 0; code < 100000000 && printed < count; ++code) {
        const std::uint64_t slot = ((code * 0x9E3779B97F4A7C15ull) >> 32) & ((1u << 19) - 1);
        if (slot < 2048) {
            std::printf("%08llu\n", static_cast<unsigned long long>(code));
            ++printed;
        }
    }
    return printed == count ? 0 : 1;
}
