// A listing program that never answers in time: it waits a minute and prints
// nothing, so a test can stop a check while its listings still run.

#include <unistd.h>

int main()
{
    ::sleep(60);
    return 0;
}
