// FEAT, OPTS UTF8 ON and MDTM against the scripted server: what is sent, which answers
// count, and what the engine keeps from them.
#include <string>
#include <vector>

#include "tests/ftp/FtpTestKit.h"

namespace tarnwick::ftp {
namespace {

using testkit::EngineFixture;
using testkit::ScriptedFtpServer;
using Lines = std::vector<std::string>;

class FtpFeatures : public EngineFixture<> {};

TEST_F(FtpFeatures, FeatKeepsTheNamedFeaturesAndAnUnknownCommandMeansNone) {
    struct Case {
        const char* name;
        Lines reply;  // sent as they stand, CR LF after each
        uint16_t error;
        Lines features;
    };
    const Case cases[] = {
        {"a multi-line 211",
         {"211-Features:", " MLST type*;size*;modify*;perm*;", " UTF8", " mdtm", " SIZE  ",
          "211 End"},
         0,
         {"MLST type*;size*;modify*;perm*;", "UTF8", "mdtm", "SIZE"}},
        {"a 211 on one line", {"211 No features"}, 0, {}},
        {"500 unknown", {"500 FEAT not understood"}, 0, {}},
        {"502 not implemented", {"502 Command not implemented"}, 0, {}},
        {"a body line without its blank is not a feature",
         {"211-Extensions supported", "EPSV", " REST STREAM", "211 END"},
         0,
         {"REST STREAM"}},
        {"421 is a failure", {"421 Service not available"}, 421, {}},
    };
    ScriptedFtpServer server;
    server.Reply("220 Ready");
    for (const auto& c : cases) {
        server.Expect("FEAT");
        for (const auto& line : c.reply) server.Reply(line);
    }
    server.Start();
    Open(server);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectRequest([&] { ftp.FeatAsync(); }, TFtpRequest::FeatAsync, c.error);
        EXPECT_EQ(ftp.Features(), c.features);
    }
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
}

TEST_F(FtpFeatures, HasFeatureLooksAtTheFirstWordWhateverItsCase) {
    ScriptedFtpServer server;
    server.Reply("220 Ready")
        .Expect("FEAT")
        .Reply("211-Features:")
        .Reply(" MLST type*;size*;")
        .Reply(" utf8")
        .Reply(" MDTM")
        .Reply("211 End");
    server.Start();
    Open(server);
    ExpectRequest([&] { ftp.FeatAsync(); }, TFtpRequest::FeatAsync, 0);
    EXPECT_TRUE(ftp.HasFeature("MLST"));
    EXPECT_TRUE(ftp.HasFeature("UTF8"));
    EXPECT_TRUE(ftp.HasFeature("mdtm"));
    EXPECT_FALSE(ftp.HasFeature("MLS"));
    EXPECT_FALSE(ftp.HasFeature("SIZE"));
    EXPECT_FALSE(ftp.HasFeature("type*;size*;"));
}

TEST_F(FtpFeatures, OptsUtf8AndMdtm) {
    struct Case {
        const char* name;
        const char* file;
        bool mdtm;
        std::string command;
        std::string reply;
        TFtpRequest rq;
        uint16_t error;
        std::string stamp;
    };
    const Case cases[] = {
        {"utf8 on", "", false, "OPTS UTF8 ON", "200 Always in UTF8 mode.",
         TFtpRequest::OptsUtf8Async, 0, ""},
        {"utf8 refused", "", false, "OPTS UTF8 ON", "501 no", TFtpRequest::OptsUtf8Async, 501, ""},
        {"mdtm", "a b.txt", true, "MDTM a b.txt", "213 20230115123456", TFtpRequest::MdtmAsync, 0,
         "20230115123456"},
        {"mdtm with fraction", "f", true, "MDTM f", "213 20230115123456.789",
         TFtpRequest::MdtmAsync, 0, "20230115123456.789"},
        {"mdtm refused", "g", true, "MDTM g", "550 No such file", TFtpRequest::MdtmAsync, 550, ""},
    };
    ScriptedFtpServer server;
    server.Reply("220 Ready");
    for (const auto& c : cases) server.Expect(c.command).Reply(c.reply);
    server.Start();
    Open(server);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ftp.SetHostFileName(c.file);
        ExpectRequest([&] { c.mdtm ? ftp.MdtmAsync() : ftp.OptsUtf8Async(); }, c.rq, c.error);
        if (c.mdtm) {
            EXPECT_EQ(ftp.MdtmResult(), c.stamp);
        }
    }
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
}

TEST_F(FtpFeatures, OptsMlstAsksForTheListingFactsTheServerOffers) {
    ScriptedFtpServer server;
    server.Reply("220 Ready")
        .Expect("FEAT")
        .Reply("211-Features:")
        .Reply(" MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;")
        .Reply("211 End")
        .Expect("OPTS MLST type;size;modify;perm;unix.mode;")
        .Reply("200 MLST OPTS type;size;modify;perm;unix.mode;");
    server.Start();
    Open(server);
    ExpectRequest([&] { ftp.FeatAsync(); }, TFtpRequest::FeatAsync, 0);
    ExpectRequest([&] { ftp.OptsMlstAsync(); }, TFtpRequest::OptsMlstAsync, 0);
    EXPECT_TRUE(server.Mismatches().empty()) << server.Mismatches().front();
}

TEST(FtpFeatureLines, MachineListingsAndTheFactsWorthAskingFor) {
    struct Case {
        const char* name;
        Lines features;
        bool machine;
        std::string wanted;
    };
    const Case cases[] = {
        {"none", {}, false, ""},
        {"utf8 only", {"UTF8", "SIZE"}, false, ""},
        {"all shown", {"MLST type*;size*;modify*;perm*;unix.mode*;"}, true, ""},
        {"unix.mode offered, not shown",
         {"UTF8", "MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;"},
         true,
         "type;size;modify;perm;unix.mode;"},
        {"case and missing facts", {"mlst Type*;Size;"}, true, "type;size;"},
        {"MLSD named alone", {"MLSD"}, true, ""},
        {"a word that begins the same is no MLST", {"MLSTX type;"}, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(OffersMachineListing(c.features), c.machine);
        EXPECT_EQ(MlstFactsWanted(c.features), c.wanted);
    }
}

TEST(FtpFeatureLines, TheStepsAfterTheLogin) {
    using R = TFtpRequest;
    const Lines all = {"UTF8", "MLST type*;size*;unix.mode;"};
    const Lines utf8 = {"UTF8"};
    const Lines mlst = {"MLST type*;size;"};
    const Lines none = {};
    const struct {
        const Lines& features;
        R done;
        R next;
    } rows[] = {
        {none, R::ConnectAsync, R::FeatAsync}, {none, R::FeatAsync, R::none},
        {all, R::FeatAsync, R::OptsUtf8Async}, {all, R::OptsUtf8Async, R::OptsMlstAsync},
        {all, R::OptsMlstAsync, R::none},      {utf8, R::FeatAsync, R::OptsUtf8Async},
        {utf8, R::OptsUtf8Async, R::none},     {mlst, R::FeatAsync, R::OptsMlstAsync},
        {all, R::CwdAsync, R::none},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(FtpRequestName(row.done));
        EXPECT_EQ(NextLoginStep(row.done, row.features), row.next);
    }
}

}  // namespace
}  // namespace tarnwick::ftp
