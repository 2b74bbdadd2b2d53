#include "HLVMainThreadFileCheck.h"
#include "HLVTestEnvironment.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    HLVTestEnvironment::prepare();
    HLVMainThreadFileCheck::install();
    return RUN_ALL_TESTS();
}
