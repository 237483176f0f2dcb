// How a script's DOWNLOAD waits for the transfer the control runs.
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

#include "modem/CommControl.h"
#include "script/ResultCodes.h"
#include "script/ScriptRun.h"
#include "tests/support/FakeComm.h"
#include "tests/support/TestWorld.h"

namespace zorv::test {
namespace {

TEST(TransferWait, EndsOnEveryFinalStatusAndTheScriptGoesOn) {
    const struct {
        int last;
    } cases[] = {{XFER_IDLE}, {XFER_FAILED}, {XFER_CARRIER_LOST}, {XFER_TIMED_OUT}};
    for (const auto& c : cases) {
        TestWorld world;
        FakeComm comm(world.pump);
        comm.SetPortOpen(true);
        comm.SetCarrier(true);
        comm.onDownload = [&](const std::string&) {
            comm.ReportXferStatusAfter(0.5, XFER_WAITING);
            comm.ReportXferStatusAfter(1.0, XFER_TRANSFERRING);
            comm.ReportXferStatusAfter(3.0, c.last);
        };
        QTemporaryDir folder;
        const std::string script = folder.filePath("t.scr").toStdString();
        std::ofstream(script) << "PROTOCOL \"ZMODEM\"\r\nDOWNLOAD\r\nSEND \"after^M\"\r\nEND\r\n";
        int lineNo = 0;
        std::string lineText;
        ScriptRun(comm, script, lineNo, lineText);
        SCOPED_TRACE(c.last);
        EXPECT_EQ(GETRESULT(), RC_SCRIPT_COMPLETED);
        EXPECT_EQ(lineNo, 0);
        EXPECT_EQ(comm.sent(), "after\r");
        EXPECT_LT(world.pump.Now() - 36000, 60);  // ended with the transfer, not by a limit
    }
}

}  // namespace
}  // namespace zorv::test
