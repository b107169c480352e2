#include "ui/QtApp.h"

int main(int argc, char** argv)
{
    return RunFennelwright(argc, argv);
}
