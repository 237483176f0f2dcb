#include "modem/ReadScreen.h"

#include <cstdint>

#include "util/UiServices.h"

namespace zorv {

std::string ReadScreen(CommControl& comm, int Row, int Column, int NumChars) {
    // Rows and columns count from 1: anything below names no place on the screen.
    if (Row > comm.Rows() || Row < 1) {
        MsgBox("ReadScreen: Invalid Row argument");
        return "";
    }
    if (Column > comm.Columns() || Column < 1) {
        MsgBox("ReadScreen: Invalid Column argument");
        return "";
    }
    const std::string screen = comm.Text();
    const int64_t n = static_cast<int64_t>(screen.size());

    // Positions below count from 1, as rows and columns do.
    int64_t start = Column;
    if (Row > 1) {
        int64_t i = 1;
        int lineEnds = 0;
        for (; i <= n; ++i) {
            if (i < n && screen[i - 1] == '\r' && screen[i] == '\n' && ++lineEnds == Row - 1) break;
        }
        // i is the CR of the line end before the row (n + 1 when the screen has fewer
        // rows, which puts the start past the text).
        start = i + 1 + Column;
    }

    // The piece must lie inside the text; its last character may be the text's last.
    if (NumChars < 0 || start + NumChars > n + 1) {
        MsgBox("ReadScreen: Invalid NumChars argument");
        return "";
    }
    return screen.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(NumChars));
}

}  // namespace zorv
