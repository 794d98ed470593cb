#include "ReplaceProgram.h"

int main(int argc, char** argv)
{
    return RunReplaceProgram(argc, argv);
}
