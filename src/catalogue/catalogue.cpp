#include "catalogue.h"

#include <QDir>

QStringList listFolder(const QString& folder, bool withFolders)
{
    const QDir dir(folder);
    QDir::Filters filters = QDir::Files | QDir::NoDotAndDotDot;
    if (withFolders)
        filters |= QDir::Dirs;
    // Case-insensitive name order: readdir order is arbitrary and must not decide the lists.
    return dir.entryList(filters, QDir::Name | QDir::IgnoreCase);
}

static QString withoutExtension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot > 0 ? fileName.left(dot) : fileName;
}

QString styleNameOfFile(const QString& fileName)
{
    const qsizetype paren = fileName.lastIndexOf(u'(');
    return paren < 0 ? withoutExtension(fileName) : fileName.left(paren);
}

QString faceNameOfFontFile(const QString& path)
{
    const qsizetype paren = path.lastIndexOf(u'(');
    if (paren < 0)
        return withoutExtension(path.mid(path.lastIndexOf(u'/') + 1));
    const qsizetype close = path.indexOf(u')', paren + 1);
    return close < 0 ? path.mid(paren + 1) : path.mid(paren + 1, close - paren - 1);
}

QString faceNameOfFolderFont(const QString& path)
{
    const QString fileName = path.mid(path.lastIndexOf(u'/') + 1);
    return fileName.left(fileName.indexOf(u'.'));
}

QString backgroundDisplayName(const QString& fileName)
{
    const QString afterDash = fileName.mid(fileName.indexOf(u'-') + 1);
    const qsizetype dot = afterDash.indexOf(u'.');
    const QString name = dot < 0 ? afterDash : afterDash.left(dot);
    return name.isEmpty() ? fileName : name;
}

QStringList standardSizes()
{
    QStringList sizes = QStringLiteral("8,9,10,11,12,22,24,26,28,36,48,72").split(u',');
    for (int size = 100; size < 200; size += 15)
        sizes << QString::number(size);
    return sizes;
}

Catalogue loadCatalogue(const QString& AppPath)
{
    Catalogue c;
    const QString fontsDir = AppPath + QStringLiteral("fonts/");

    // Every entry of fonts/ but the font-file folder is a folder style, plain files included.
    for (const QString& name : listFolder(fontsDir, true)) {
        if (name == FontFileFolder)
            continue;
        const QString folder = fontsDir + name + u'/';
        const QStringList files = listFolder(folder, false);
        c.FontPaths << (files.isEmpty() ? folder : folder + files.first().left(3));
        c.styleNames << name;
    }

    const QString fileStyles = fontsDir + FontFileFolder + u'/';
    for (const QString& file : listFolder(fileStyles, false)) {
        const QString style = styleNameOfFile(file);
        c.FontPaths << fileStyles + file;
        c.styleNames << style;
        c.StyleList += style + u',';
    }

    const QString imagesDir = AppPath + QStringLiteral("images/");
    for (const QString& file : listFolder(imagesDir, false)) {
        c.ImagePaths << imagesDir + file;
        c.backgroundNames << backgroundDisplayName(file);
    }

    c.sizes = standardSizes();
    return c;
}
