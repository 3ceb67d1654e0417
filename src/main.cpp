#include "core/app.h"

int main(int argc, char** argv) {
    if (const int status = app::Options(argc, argv); status >= 0) return status;
    return app::Run(argc, argv);
}
