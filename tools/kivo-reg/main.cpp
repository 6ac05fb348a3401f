#include <cstdio>
int main()
{
    std::fprintf(stderr, "kivo-reg: not built yet\n");
    return 1;
}
