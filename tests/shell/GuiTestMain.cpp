#include <gtest/gtest.h>
#include <QApplication>
#include <cstdlib>

#include "shell/Dialogs.h"

// The GUI tests drive real windows on the offscreen platform; no dialog ever waits for a person.
int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Dialogs::Script().Active = true;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
