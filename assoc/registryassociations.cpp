#include "registryassociations.h"

#include "platform/logging.h"
#include "platform/programnames.h"

#include <QRegularExpression>

namespace {

constexpr auto Classes = RegistryStore::Classes;
constexpr auto User = RegistryStore::User;

QString fileExts(const QString &ext)
{
    return QStringLiteral("Software/Microsoft/Windows/CurrentVersion/Explorer/FileExts/") + ext;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The program a command line starts: the text between its first quotes.
QString commandProgram(const QString &command)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("\"([^\"]+)\".*")));
    const QRegularExpressionMatch match = pattern.match(command);
    return match.hasMatch() ? match.captured(1) : QString();
}

bool sameText(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The keys of a URL handler under the scheme's class key, in writing order;
// the last one holds the command.
QStringList urlHandlerKeys(const QString &scheme)
{
    QStringList keys;
    for (const char *key : { "Default", "Content Type", "URL Protocol", "DefaultIcon/Default",
             "shell/Default", "shell/open/command/Default" })
        keys << scheme + QLatin1Char('/') + QLatin1String(key);
    return keys;
}

QString urlCommandKey(const QString &scheme)
{
    return urlHandlerKeys(scheme).constLast();
}

const QString MagnetScheme = QStringLiteral("Magnet");
const QString OwnScheme = QStringLiteral("morvane");

} // namespace

RegistryAssociations::RegistryAssociations(const QString &programFolder, RegistryStore store)
    : m_programFolder(programFolder)
    , m_store(std::move(store))
{ }

QString RegistryAssociations::launchCommand(const QString &programPath)
{
    QString path = programPath;
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return quoted(path) + QStringLiteral(" \"%1\"");
}

bool RegistryAssociations::isUriHandlerRegistered(const RegistryStore &store, const QString &programPath)
{
    return store.value(Classes, urlCommandKey(OwnScheme)) == launchCommand(programPath);
}

QString RegistryAssociations::programPath() const
{
    QString path = m_programFolder + QLatin1Char('\\') + ProgramNames::windowsFileName(ProgramNames::Player);
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path;
}

QString RegistryAssociations::command() const
{
    return launchCommand(programPath());
}

QString RegistryAssociations::icon() const
{
    return quoted(programPath()) + QStringLiteral(",1");
}

QString RegistryAssociations::videoCommand() const
{
    return quoted(programPath()) + QStringLiteral("  \"%1\"");
}

QString RegistryAssociations::videoIcon() const
{
    return quoted(programPath()) + QStringLiteral(",0");
}

QString RegistryAssociations::videoProgId(const QString &ext)
{
    return QStringLiteral("Morvane") + ext;
}

bool RegistryAssociations::namesOurProgram(const QString &command) const
{
    // Any installation of the player counts: a moved one left its commands
    // behind, and they are ours to clear.
    const QString program = commandProgram(command);
    return program.section(QLatin1Char('\\'), -1)
               .compare(ProgramNames::windowsFileName(ProgramNames::Player), Qt::CaseInsensitive)
        == 0;
}

bool RegistryAssociations::torrentAssociated() const
{
    auto s = m_store.open();
    const QString progId = torrentProgId();
    return s.value(Classes, QStringLiteral(".torrent/Default")) == progId
        && sameText(commandProgram(s.value(Classes, progId + QStringLiteral("/shell/open/command/Default"))),
            programPath())
        && sameText(s.value(Classes, progId + QStringLiteral("/DefaultIcon/Default")), icon());
}

void RegistryAssociations::setTorrentAssociation(bool on)
{
    auto s = m_store.open();
    const QString progId = torrentProgId();
    const QString bittorrent = QStringLiteral("application/x-bittorrent");
    const QStringList userChoices = { fileExts(QStringLiteral(".torrent/Progid")),
        fileExts(QStringLiteral(".torrent/UserChoice/Progid")) };
    if (on) {
        s.setValue(Classes, QStringLiteral(".torrent/Default"), progId);
        s.setValue(Classes, QStringLiteral(".torrent/Content Type"), bittorrent);
        s.setValue(Classes, progId + QStringLiteral("/shell/Default"), QStringLiteral("open"));
        s.setValue(Classes, progId + QStringLiteral("/shell/open/command/Default"), command());
        s.setValue(Classes, progId + QStringLiteral("/Content Type/Default"), bittorrent);
        s.setValue(Classes, progId + QStringLiteral("/DefaultIcon/Default"), icon());
        for (const QString &choice : userChoices)
            s.setValue(User, choice, progId);
        return;
    }

    // Another program's binding of .torrent files stays as it is; only what
    // points at us goes. The legacy ProgID is the scheme key: never removed here.
    const auto ours = [&](const QString &value) {
        return sameText(value, progId) || sameText(value, legacyTorrentProgId());
    };
    if (ours(s.value(Classes, QStringLiteral(".torrent/Default")))) {
        s.remove(Classes, QStringLiteral(".torrent/Default"));
        s.remove(Classes, QStringLiteral(".torrent/Content Type"));
    }
    s.remove(Classes, progId + QStringLiteral("/shell/Default"));
    s.remove(Classes, progId + QStringLiteral("/shell/open/command/Default"));
    s.remove(Classes, progId + QStringLiteral("/Content Type/Default"));
    s.remove(Classes, progId + QStringLiteral("/DefaultIcon/Default"));
    for (const QString &choice : userChoices) {
        if (ours(s.value(User, choice)))
            s.setValue(User, choice, QString());
    }
}

bool RegistryAssociations::magnetAssociated() const
{
    auto s = m_store.open();
    return sameText(commandProgram(s.value(Classes, urlCommandKey(MagnetScheme))), programPath());
}

void RegistryAssociations::setMagnetAssociation(bool on)
{
    // Magnet links are everyone's: leave another client's handler alone.
    setUrlHandler(MagnetScheme, QStringLiteral("application/x-magnet"), on, true);
}

bool RegistryAssociations::schemeAssociated() const
{
    auto s = m_store.open();
    return s.value(Classes, urlCommandKey(OwnScheme)) == command();
}

void RegistryAssociations::setSchemeAssociation(bool on)
{
    setUrlHandler(OwnScheme, QStringLiteral("application/x-morvane"), on, false);
}

void RegistryAssociations::setUrlHandler(
    const QString &scheme, const QString &contentType, bool on, bool onlyOurs)
{
    auto s = m_store.open();
    const QStringList keys = urlHandlerKeys(scheme);
    if (on) {
        const QStringList values = { scheme + QStringLiteral(" URI"), contentType, QString(), icon(),
            QStringLiteral("open"), command() };
        for (qsizetype i = 0; i < keys.size(); ++i)
            s.setValue(Classes, keys.at(i), values.at(i));
        return;
    }
    if (onlyOurs && !namesOurProgram(s.value(Classes, urlCommandKey(scheme))))
        return;
    for (const QString &key : keys)
        s.remove(Classes, key);
}

bool RegistryAssociations::extensionAssociated(const QString &ext) const
{
    auto s = m_store.open();
    const QString progId = videoProgId(ext);
    if (s.value(Classes, ext + QStringLiteral("/Default")) != progId) {
        qCDebug(lcAssoc).noquote() << ext << "needs no unbinding";
        return false;
    }
    return s.value(Classes, progId + QStringLiteral("/shell/open/command/Default")) == videoCommand();
}

void RegistryAssociations::associateExtension(const QString &ext)
{
    auto s = m_store.open();
    const QString progId = videoProgId(ext);
    const QString previous = s.value(Classes, ext + QStringLiteral("/Default"));
    // Our own ProgID in any letter case is the same key: never back it up, or
    // unbinding would put us back.
    if (!sameText(previous, progId))
        s.setValue(Classes, ext + QStringLiteral("/Morvane.backup"), previous);

    s.setValue(Classes, ext + QStringLiteral("/Default"), progId);
    s.setValue(Classes, progId + QStringLiteral("/Default"), QStringLiteral("Media file"));
    s.setValue(Classes, progId + QStringLiteral("/shell/Default"), QStringLiteral("open"));
    s.setValue(Classes, progId + QStringLiteral("/shell/open/command/Default"), videoCommand());
    s.setValue(Classes, progId + QStringLiteral("/DefaultIcon/Default"), videoIcon());
    s.setValue(User, fileExts(ext + QStringLiteral("/Progid")), progId);
    s.setValue(User, fileExts(ext + QStringLiteral("/UserChoice/Progid")), progId);
}

void RegistryAssociations::restoreExtension(const QString &ext)
{
    auto s = m_store.open();
    const QString progId = videoProgId(ext);
    if (sameText(s.value(Classes, ext + QStringLiteral("/Default")), progId)) {
        s.setValue(Classes, ext + QStringLiteral("/Default"),
            s.value(Classes, ext + QStringLiteral("/Morvane.backup")));
        s.setValue(Classes, ext + QStringLiteral("/Morvane.backup"), QString());
    }
    // The user's Explorer choice is cleared only where it still names us.
    for (const QString &choice :
        { fileExts(ext + QStringLiteral("/Progid")), fileExts(ext + QStringLiteral("/UserChoice/Progid")) }) {
        if (sameText(s.value(User, choice), progId))
            s.setValue(User, choice, QString());
    }
}
