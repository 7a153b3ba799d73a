// Test runner for drawing PDFs: Qt's GUI application (for its fonts) on the offscreen platform
// unless another is named.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "report/ReportPdf.hpp"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    nuv::PreferOffscreenPlatform();
    QGuiApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
