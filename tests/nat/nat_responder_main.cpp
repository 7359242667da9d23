// A stand-alone detection server for the network namespace tests: answers
// like the central server on A:U, A:U+1, B:U+1 and B:U+2 until killed.
#include "tests/nat/nat_responder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>


int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("NAT detection responder for tests"));
    parser.addHelpOption();
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("first address A"), QStringLiteral("A"),
                                     QStringLiteral("127.0.0.1"));
    const QCommandLineOption alt(QStringLiteral("alt-address"), QStringLiteral("second address B"), QStringLiteral("B"),
                                 QStringLiteral("127.0.0.2"));
    const QCommandLineOption port(QStringLiteral("udp-port"), QStringLiteral("base UDP port U"), QStringLiteral("U"),
                                  QStringLiteral("80"));
    parser.addOptions({address, alt, port});
    parser.process(app);

    bool ok = false;
    const int base = parser.value(port).toInt(&ok);
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!ok || base <= 0 || base > 65533) {
        err << "bad --udp-port\n";
        return 2;
    }
    zv::test::NatResponder responder;
    QString error;
    if (!responder.start(QHostAddress(parser.value(address)), QHostAddress(parser.value(alt)), static_cast<quint16>(base), &error)) {
        err << error << '\n';
        return 1;
    }
    out << "ready\n";
    out.flush();
    return app.exec();
}
