#include "CReplaceApp.h"

int main(int argc, char** argv)
{
    CReplaceApp app(argc, argv);
    app.InitInstance();
    return 0;
}
