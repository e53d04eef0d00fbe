#pragma once

#include <QString>
#include <QStringList>

// Local files among the parameters. Launchers hand them over as file: URIs
// (percent-encoded), and a second start names them from its own folder,
// which is not the running player's.
class ParameterPaths
{
public:
    ParameterPaths() = delete;

    // A link the parameter processing handles itself (magnet, morvane://,
    // bc://bt/, a web address or any other "scheme://"), never a file.
    static bool isLink(const QString &parameter);

    // A local file: URI as a path; anything else as it stands. ok is false
    // for a file: URI that names another machine (no local file to open).
    static QString localPath(const QString &parameter, bool *ok = nullptr);

    // For handing over at a second start: every local file as an absolute
    // path seen from folder; links and "--" switches unchanged.
    static QStringList absolute(const QStringList &arguments, const QString &folder);
};
