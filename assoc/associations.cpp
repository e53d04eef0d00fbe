#include "associations.h"

#include "assoc/desktopassociations.h"
#include "assoc/registryassociations.h"

const QStringList &Associations::videoExtensions()
{
    static const QStringList extensions = {
        QStringLiteral(".3g2"),
        QStringLiteral(".3gp"),
        QStringLiteral(".3gp2"),
        QStringLiteral(".3gpp"),
        QStringLiteral(".amv"),
        QStringLiteral(".asf"),
        QStringLiteral(".avi"),
        QStringLiteral(".bin"),
        QStringLiteral(".divx"),
        QStringLiteral(".drc"),
        QStringLiteral(".dv"),
        QStringLiteral(".f4v"),
        QStringLiteral(".flv"),
        QStringLiteral(".gxf"),
        QStringLiteral(".iso"),
        QStringLiteral(".m1v"),
        QStringLiteral(".m2t"),
        QStringLiteral(".m2ts"),
        QStringLiteral(".m2v"),
        QStringLiteral(".m4v"),
        QStringLiteral(".mkv"),
        QStringLiteral(".mov"),
        QStringLiteral(".mp2"),
        QStringLiteral(".mp2v"),
        QStringLiteral(".mp4"),
        QStringLiteral(".mp4v"),
        QStringLiteral(".mpa"),
        QStringLiteral(".mpe"),
        QStringLiteral(".mpeg"),
        QStringLiteral(".mpeg1"),
        QStringLiteral(".mpeg2"),
        QStringLiteral(".mpeg4"),
        QStringLiteral(".mpg"),
        QStringLiteral(".mpv2"),
        QStringLiteral(".mts"),
        QStringLiteral(".mtv"),
        QStringLiteral(".mxf"),
        QStringLiteral(".mxg"),
        QStringLiteral(".nsv"),
        QStringLiteral(".nuv"),
        QStringLiteral(".ogg"),
        QStringLiteral(".ogm"),
        QStringLiteral(".ogv"),
        QStringLiteral(".ogx"),
        QStringLiteral(".ps"),
        QStringLiteral(".rec"),
        QStringLiteral(".rm"),
        QStringLiteral(".rmvb"),
        QStringLiteral(".tod"),
        QStringLiteral(".ts"),
        QStringLiteral(".tts"),
        QStringLiteral(".vob"),
        QStringLiteral(".vro"),
        QStringLiteral(".webm"),
        QStringLiteral(".wmv"),
    };
    return extensions;
}

std::unique_ptr<Associations> Associations::forProgramFolder(const QString &programFolder)
{
#ifdef Q_OS_WIN
    return std::make_unique<RegistryAssociations>(programFolder, RegistryStore::nativeRoots());
#else
    return std::make_unique<DesktopAssociations>(programFolder);
#endif
}

bool Associations::videoFilesAssociated() const
{
    const QStringList extensions = bindableExtensions();
    for (const QString &ext : extensions) {
        if (!extensionAssociated(ext))
            return false;
    }
    return true;
}

void Associations::associateVideoFiles()
{
    const QStringList extensions = bindableExtensions();
    for (const QString &ext : extensions)
        associateExtension(ext);
}

void Associations::restoreVideoFiles()
{
    const QStringList extensions = bindableExtensions();
    for (const QString &ext : extensions)
        restoreExtension(ext);
}
