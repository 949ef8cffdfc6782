#pragma once

#include "attachments/PictureHelper.h"

#include <QtTest>

// QTEST_MAIN for tests of the main window: the test executable also serves the
// picture helper mode, since the program starts its helper from its own
// executable.
#define VARDENIX_TEST_MAIN(TestObject)                                                             \
    QTEST_MAIN_WRAPPER(TestObject, if (PictureHelper::isHelperCall(                                \
                                           argc, argv)) return PictureHelper::serve(argc, argv);   \
                       QTEST_MAIN_SETUP())
