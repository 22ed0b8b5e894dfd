// Zelvar: the windows and their event loop, once there is a display to show
// them on.
#include <QApplication>
#include <cstdio>

#include "DisplayCheck.h"
#include "ZelvarProgram.h"

int main(int argc, char* argv[]) {
    if (const std::string missing = zelvar::MissingDisplay(argc, argv); !missing.empty()) {
        std::fprintf(stderr, "%s\n", missing.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    return zelvar::RunZelvar();
}
