// The memory-and-write floor for the program: one freshly allocated buffer of SIZE bytes (on
// ordinary pages), filled with silence, then written to a new file with one fwrite.
//
//   fill_and_write OUTPUT SIZE
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 3) return 2;
    const size_t size = std::strtoull(argv[2], nullptr, 10);
    auto* buffer = static_cast<unsigned char*>(std::malloc(size));
    if (buffer == nullptr) return 1;
    std::memset(buffer, 128, size);
    FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 1;
    const bool written = std::fwrite(buffer, 1, size, out) == size;
    const bool closed = std::fclose(out) == 0;
    std::free(buffer);
    return written && closed ? 0 : 1;
}
