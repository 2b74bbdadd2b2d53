#include "HLVTestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    HLVTestEnvironment::prepare();
    return RUN_ALL_TESTS();
}
