// Entry point of every test program: the automation services are initialised
// once on the main thread before anything else, as in the programs.
#include "automation/InitOle.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    TInitOle oleInit;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
