#include <gtest/gtest.h>

#include "app/commandline.h"

TEST(CommandLine, ArgumentsGiveTheActionAndTheFileToOpen)
{
    using A = app::CommandLine::Action;
    struct Case {
        const char* what;
        QStringList args;
        A action;
        QString file;
    };
    const Case cases[] = {
        {"nothing", {}, A::Run, ""},
        {"a relative path is taken against the working folder", {"run5.axd"}, A::Run, "/home/op/data/run5.axd"},
        {"dots are resolved", {"../x/./run5.axd"}, A::Run, "/home/op/x/run5.axd"},
        {"an absolute path stays", {"/media/usb/Run5.AXD"}, A::Run, "/media/usb/Run5.AXD"},
        {"a file manager's URI", {"file:///tmp/%D0%B7%D0%B0%D0%BC%D0%B5%D1%80%201.axd"}, A::Run, "/tmp/замер 1.axd"},
        {"a URI of the local host", {"file://localhost/tmp/a.axd"}, A::Run, "/tmp/a.axd"},
        {"only the first file", {"a.axd", "b.axd"}, A::Run, "/home/op/data/a.axd"},
        {"a name like an option after --", {"--", "-odd.axd"}, A::Run, "/home/op/data/-odd.axd"},
        {"help", {"--help"}, A::Help, ""},
        {"help beside a toolkit option", {"-platform", "offscreen", "-h"}, A::Help, ""},
        {"help wins over version", {"-v", "--help"}, A::Help, ""},
        {"version", {"run5.axd", "--version"}, A::Version, ""},
        {"after -- nothing is an option", {"--", "--help"}, A::Run, "/home/op/data/--help"},
        {"an unknown option", {"--frobnicate", "run5.axd"}, A::Error, ""},
        {"the toolkit's options and values are neither files nor mistakes",
         {"-platform", "offscreen", "--style=fusion", "-reverse", "--qwindowtitle", "t", "run5.axd"},
         A::Run,
         "/home/op/data/run5.axd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const app::CommandLine r = app::parseCommandLine(QStringList{"accel3"} + c.args, "/home/op/data");
        EXPECT_EQ(r.action, c.action);
        if (c.action == A::Run) {
            EXPECT_EQ(r.file, c.file);
        }
        if (c.action == A::Error) {
            EXPECT_TRUE(r.error.contains("--frobnicate")) << qPrintable(r.error);
        }
    }
}
