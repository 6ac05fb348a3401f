#include <cstdio>
int main()
{
    std::fprintf(stderr, "initkivo: not built yet\n");
    return 1;
}
