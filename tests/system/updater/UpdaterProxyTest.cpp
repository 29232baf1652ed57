// The real updater behind the proxy a company runs: the test bed's squid in front of its nginx.
// squid keeps an HTTP/1.0 connection open after a complete body, so the updater must end each
// reply at its announced length.
#include "Installation.h"

#include "BoxWatcher.h"
#include "TestBed.h"

#include <gtest/gtest.h>

namespace {

TEST(Proxy, UpdateThroughSquidIsInstalled) {
    const AnsiString nginxPort = TestBedValue("QUEN6_NGINX_PORT"),
                     squidPort = TestBedValue("QUEN6_SQUID_PORT");
    ASSERT_FALSE(nginxPort.empty()) << "the test bed's nginx is not running";
    ASSERT_FALSE(squidPort.empty()) << "the test bed's squid is not running";
    const AnsiString served = TestBedValue("QUEN6_NGINX_ROOT") + "\\proxy\\";
    ForceDirectories(served);
    const AnsiString url = "http://127.0.0.1:" + nginxPort + "/proxy/";

    AnsiString large(300 * 1024, '\0');
    unsigned state = 7;
    for (char& c : large)
        c = static_cast<char>((state = state * 1103515245 + 12345) >> 16);
    const AnsiString small = "version 2";
    WriteFile(served + "large.bin", large);
    WriteFile(served + "small.txt", small);
    WriteFile(served + "list.txt",
              UpdateList("", false,
                         {EntryLine("large.bin", url + "large.bin", kListedWhen,
                                    static_cast<int>(large.size())),
                          EntryLine("small.txt", url + "small.txt", kListedWhen,
                                    static_cast<int>(small.size()))}));

    Installation inst;
    inst.WriteSettings({"appname=Demo", "list=" + url + "list.txt", "proxy=127.0.0.1",
                        "proxyport=" + squidPort, "timeout=10"});
    Process updater(inst.CommandLine(), inst.StartDir());
    BoxWatcher boxes(updater.Id(), IDYES);
    EXPECT_EQ(updater.Wait(), 0);
    ASSERT_EQ(BoxTexts(boxes, Caption()), (std::vector<AnsiString>{Text(108), Text(113)}));
    EXPECT_TRUE(ReadFile(inst.App() + "large.bin") == large);
    EXPECT_EQ(ReadFile(inst.App() + "small.txt"), small);
    EXPECT_EQ(inst.AppRuns().size(), 1u);
}

} // namespace
