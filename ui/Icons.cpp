#include "ui/Icons.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QStyle>

namespace tarnwick::ui {

namespace {

constexpr const char* kGenericFileIcon = "text-x-generic";
// The cache of icons by suffix stops growing here (a listing of random names).
constexpr qsizetype kMaxCachedSuffixes = 512;

QString Suffix(const QString& name) {
    const qsizetype dot = name.lastIndexOf('.');
    return dot <= 0 ? QString() : name.mid(dot + 1).toLower();
}

}  // namespace

TFileIcons::TFileIcons() {
    QStyle* style = QApplication::style();
    folder_ = QIcon::fromTheme("folder", style->standardIcon(QStyle::SP_DirIcon));
    file_ = QIcon::fromTheme(kGenericFileIcon, style->standardIcon(QStyle::SP_FileIcon));
    server_ = QIcon::fromTheme("network-server", style->standardIcon(QStyle::SP_DriveNetIcon));
}

QString TFileIcons::IconName(const QString& name) {
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return QString::fromLatin1(kGenericFileIcon);
    return type.iconName();
}

QIcon TFileIcons::File(const QString& name) const {
    // One suffix decides alone; "a.tar.gz" and "Makefile" are looked up by their whole name.
    const QString suffix = Suffix(name);
    const bool bySuffix = !suffix.isEmpty() && name.indexOf('.', 1) == name.lastIndexOf('.');
    if (bySuffix) {
        const auto cached = bySuffix_.constFind(suffix);
        if (cached != bySuffix_.constEnd()) return *cached;
    }
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QIcon icon = file_;
    if (type.isValid() && !type.isDefault()) {
        icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName(), file_);
    }
    if (bySuffix && bySuffix_.size() < kMaxCachedSuffixes) bySuffix_.insert(suffix, icon);
    return icon;
}

}  // namespace tarnwick::ui
