// bench_session [MB]: one whole download session, timed.
//   1. zorvbbs serves a file of MB megabytes (default 5) of random bytes on loopback;
//   2. zorvscript runs the login script (the one the main window writes, dialling
//      first) through the network modem and receives the file with ZMODEM;
//   3. the same bytes are copied plainly over loopback TCP.
// It prints the session's time with the script's PAUSE seconds taken out, the transfer
// part (from the board's log), the plain copy, and the transfer's share of the plain
// copy's speed. Needs zorvbbs and zorvscript beside it.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTime>
#include <cstdio>

#include "app/LoginScript.h"

namespace {

QString Beside(const char* name) { return QCoreApplication::applicationDirPath() + "/" + name; }

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Seconds between the board's log lines that start and end the transfer.
double TransferSeconds(const QString& log) {
    QTime start, end;
    for (const QString& line : log.split('\n')) {
        const QTime at = QTime::fromString(line.left(12), "HH:mm:ss.zzz");
        if (line.contains("sending ")) start = at;
        if (line.contains("transfer ")) end = at;
    }
    return start.isValid() && end.isValid() ? start.msecsTo(end) / 1000.0 : -1;
}

// A plain copy of `bytes` over loopback TCP, in seconds.
double PlainCopySeconds(const QByteArray& bytes) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    qint64 received = 0;
    QTcpSocket* peer = nullptr;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        peer = server.nextPendingConnection();
        QObject::connect(peer, &QTcpSocket::readyRead, [&] { received += peer->readAll().size(); });
    });
    QTcpSocket sender;
    QElapsedTimer timer;
    timer.start();
    sender.connectToHost(QHostAddress::LocalHost, server.serverPort());
    sender.waitForConnected(5000);
    sender.write(bytes);
    while (received < bytes.size()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return timer.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir work;
    const QString area = work.filePath("area"), config = work.filePath("config/zorvdial");
    QDir().mkpath(area);
    QDir().mkpath(config);
    QByteArray data(megabytes * 1024 * 1024, 0);
    QRandomGenerator generator(1);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    Write(area + "/BIG.BIN", data);
    Write(work.filePath("accounts"), "bench:bench:B\n");

    QProcess board;
    board.start(Beside("zorvbbs"), {"--listen", "127.0.0.1:0", "--area", area, "--accounts",
                                    work.filePath("accounts"), "--log", work.filePath("board.log")});
    if (!board.waitForReadyRead(10000)) {
        std::fprintf(stderr, "bench_session: zorvbbs did not start\n");
        return 1;
    }
    const QString port = QString::fromLatin1(board.readLine()).trimmed().section(':', -1);
    Write(config + "/zorvscript.INI", "[PhoneBook]\r\n5559678=127.0.0.1:" + port.toLatin1() + ",telnet\r\n");

    // The main window's script, with its first comment (before any wait) dialling, so
    // every line keeps its number.
    zorv::LoginScriptInput input{"bench", "bench", "BIG.BIN", false, "60"};
    std::string script = zorv::LoginScriptText(input, zorv::LoginTimeoutText(input.timeOutBox));
    script.replace(script.find("'Graphics prompt"), 16, "DIAL \"555-9678\"");
    Write(work.filePath("login.scr"), QByteArray::fromStdString(script));
    const int pauses = QString::fromStdString(script).count(QRegularExpression("^PAUSE 3", QRegularExpression::MultilineOption));

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", work.filePath("config"));
    run.setProcessEnvironment(env);
    run.setWorkingDirectory(work.path());
    QElapsedTimer timer;
    timer.start();
    run.start(Beside("zorvscript"), {"--port", "9", "login.scr"});
    run.waitForFinished(600000);
    const double session = timer.nsecsElapsed() / 1e9;
    board.terminate();
    board.waitForFinished(5000);

    QFile got(work.filePath("BIG.BIN"));
    const bool whole = got.open(QIODevice::ReadOnly) && got.readAll() == data;
    QFile logFile(work.filePath("board.log"));
    logFile.open(QIODevice::ReadOnly);
    const double transfer = TransferSeconds(QString::fromLatin1(logFile.readAll()));
    const double plain = PlainCopySeconds(data);

    std::printf("file                 %d MB, arrived %s\n", megabytes, whole ? "whole" : "NOT WHOLE");
    std::printf("session              %.2f s, of which %d x PAUSE 3 = %d s\n", session, pauses, pauses * 3);
    std::printf("session less pauses  %.2f s\n", session - pauses * 3);
    std::printf("transfer part        %.3f s (%.1f MB/s)\n", transfer, megabytes / transfer);
    std::printf("plain copy           %.3f s (%.1f MB/s) over loopback TCP\n", plain, megabytes / plain);
    std::printf("transfer / plain     %.2f of the channel's plain copy speed\n", plain / transfer);
    return whole ? 0 : 1;
}
