// pyxet-cli: the same discovery and device code as the window, for scripts and tests.
#include <cstdio>

int main(int, char*[])
{
    std::fprintf(stderr, "usage: pyxet-cli find [--wait SECONDS] [--json] [--log]\n");
    return 2;
}
