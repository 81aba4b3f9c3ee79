// The pictures of the panes' rows: folders, files by their MIME type (found from the name
// alone, so remote names get them too) and saved servers, from the desktop's icon theme with
// the style's own pictures where the theme has none (the offscreen platform has no theme).
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace tarnwick::ui {

class TFileIcons {
  public:
    TFileIcons();

    const QIcon& Folder() const { return folder_; }
    const QIcon& Server() const { return server_; }
    // A file's icon by its name's MIME type; the plain file icon when none is known.
    QIcon File(const QString& name) const;
    // The theme's icon name for a file name ("text-x-generic" when none is known).
    static QString IconName(const QString& name);

  private:
    QIcon folder_;
    QIcon file_;
    QIcon server_;
    // By the name's suffix: a listing of many files looks each type up once.
    mutable QHash<QString, QIcon> bySuffix_;
};

}  // namespace tarnwick::ui
