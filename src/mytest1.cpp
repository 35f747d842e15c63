#include <cstdio>

int main()
{
    std::puts("zx8xwav: converter not assembled yet");
    return 1;
}
