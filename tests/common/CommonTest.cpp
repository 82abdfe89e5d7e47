#include "common/values/ProgramValues.h"
#include "tests/support/ScriptedDialogs.h"

#include <gtest/gtest.h>

TEST(Global, ValuesStartEmptyAndResetClearsThem)
{
    Global::ResetForTests();
    EXPECT_TRUE(Global::SelectedStoreID.isEmpty());
    EXPECT_TRUE(Global::SelectedFolders.isEmpty());
    EXPECT_TRUE(Global::DestinationPath.isEmpty());
    EXPECT_TRUE(Global::NewBookPath.isEmpty());

    Global::SelectedFolders = {QStringLiteral("a#b"), QString()};
    Global::NewBookPath = QStringLiteral("/tmp/x.nsf");
    Global::ResetForTests();
    EXPECT_TRUE(Global::SelectedFolders.isEmpty());
    EXPECT_TRUE(Global::NewBookPath.isEmpty());
}

TEST(ScriptedDialogs, EndProgramThrowsSomethingNoStdHandlerCatches)
{
    ScriptedDialogs d;
    bool caughtAsStd = false;
    try {
        try {
            dialogs().EndProgram();
        } catch (const std::exception&) {
            caughtAsStd = true;
        }
    } catch (const ProgramEnded&) {
    }
    EXPECT_FALSE(caughtAsStd);
    EXPECT_EQ(d.endProgramCalls, 1);
}
