#pragma once

#include <QProcess>
#include <QString>

// A private X server for tests that need a real display. Xvfb picks a free
// display number itself (-displayfd), so parallel tests never collide.
class XvfbServer
{
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // Starts the server; false when it did not come up within timeoutMs.
    bool start(const QString &screen = QStringLiteral("1280x800x24"), int timeoutMs = 15000);
    // ":N", empty until started.
    QString display() const { return m_display; }
    void stop();

private:
    QProcess m_process;
    QString m_display;
};

// The main() of a widget test that needs a real display: a private X server
// of its own before the application connects to one.
#define MORVANE_XVFB_TEST_MAIN(TestClass)                                                                    \
    int main(int argc, char **argv)                                                                          \
    {                                                                                                        \
        XvfbServer xvfb;                                                                                     \
        if (!xvfb.start(QStringLiteral("800x600x24"))) {                                                     \
            qWarning("Xvfb did not start");                                                                  \
            return 1;                                                                                        \
        }                                                                                                    \
        qputenv("DISPLAY", xvfb.display().toLocal8Bit());                                                    \
        qputenv("QT_QPA_PLATFORM", "xcb");                                                                   \
        QApplication app(argc, argv);                                                                        \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
