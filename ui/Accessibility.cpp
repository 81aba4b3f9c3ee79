#include "ui/Accessibility.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>

namespace tarnwick::ui {

namespace {

struct TDescribed {
    const char* key;
    const char* description;
};

// Commands by their caption (plain, lower case): a toolbar button and its menu twins share it.
constexpr TDescribed kByCaption[] = {
    {"connect", "Opens a session to the selected saved server"},
    {"disconnect", "Closes the session and shows the saved servers again"},
    {"new server", "Adds a saved server"},
    {"new", "Adds a saved server"},
    {"properties", "Edits the selected saved server"},
    {"server properties", "Edits the selected saved server"},
    {"stop", "Stops the transfer running and closes the session"},
    {"stop transfer", "Stops the transfer running and closes the session"},
    {"preferences", "Changes the program's preferences"},
    {"exit", "Closes the session and the window"},
    {"new folder", "Makes a new folder in the pane's folder"},
    {"make directory", "Makes a new folder in the pane's folder"},
    {"rename", "Renames the selected file or folder"},
    {"delete", "Deletes the selected files and folders"},
    {"view", "Shows the selected local file as text"},
    {"view file", "Shows the selected local file as text"},
    {"run", "Opens the selected local file with the desktop's program for it"},
    {"run file", "Opens the selected local file with the desktop's program for it"},
    {"run application", "Opens the selected local file with the desktop's program for it"},
    {"filter", "Shows only the files whose names match a mask"},
    {"font", "Chooses the pane's font"},
    {"line up icons", "Arranges the pane's icons in a grid"},
    {"select all", "Selects every item of the pane"},
    {"unselect by mask", "Unselects the items whose names match a mask"},
    {"select by mask", "Selects the items whose names match a mask"},
    {"invert selection", "Selects the items not selected and unselects the others"},
    {"upper case", "Renames the selected remote names to upper case"},
    {"lower case", "Renames the selected remote names to lower case"},
    {"sentence case", "Renames the selected remote names to sentence case"},
    {"by name", "Sorts the pane by name"},
    {"by size", "Sorts the pane by size"},
    {"by date", "Sorts the pane by date"},
    {"by extension", "Sorts the pane by extension"},
    {"large icons", "Shows the pane as large icons"},
    {"small icons", "Shows the pane as small icons"},
    {"list", "Shows the pane as a list"},
    {"details", "Shows the pane as a list with size, date and attributes"},
    {"download", "Copies the selected remote files and folders to the local folder"},
    {"download selected files", "Copies the selected remote files and folders to the local folder"},
    {"upload", "Copies the selected local files and folders to the remote folder"},
    {"upload selected files", "Copies the selected local files and folders to the remote folder"},
    {"change directory", "Goes to a remote folder by its path"},
    {"file attributes", "Changes the permissions of the selected remote file"},
    {"compare directories", "Selects the files that differ between the two panes"},
    {"custom command", "Shows or hides the panel for commands sent to the server as they are"},
    {"commands", "Picks one of the saved commands"},
    {"do it", "Sends the command to the server"},
    {"up one level", "Goes up to the parent folder"},
    {"refresh", "Lists the pane's folder again"},
    {"ok", "Accepts what the dialog shows"},
    {"cancel", "Closes the dialog and changes nothing"},
    {"help", "Shows what the dialog does"},
    {"yes", "Answers yes"},
    {"no", "Answers no"},
};

// Controls by their object name.
constexpr TDescribed kByName[] = {
    {"T_Main", "The two panes: the local disk on the left, the server on the right"},
    {"FTPView", "The remote folder's files, or the saved servers while no session is open"},
    {"lvLoc", "The local folder's files"},
    {"FTPPath", "The remote folder and its parents; choosing one goes there"},
    {"Panel9", "What the right pane shows: the saved servers or the server's name"},
    {"pnlFtpInfo", "The size and number of the selected remote files"},
    {"pnlLocInfo", "The size and number of the selected local files"},
    {"FTPOneLevelUp", "Goes up to the parent of the remote folder"},
    {"SpeedButton4", "Goes up to the parent of the local folder"},
    {"DriveComboBox1", "The mount point the local folder lies on"},
    {"dlbx", "The local folder and its parents; choosing one goes there"},
    {"cbCmd", "The command to send to the server as it is"},
    {"Panel17", "The panel for commands sent to the server as they are"},
    {"Splitter1", "Divides the local pane from the remote pane"},
    {"Splitter2", "Divides the remote files from the log"},
    {"PanelLocal", "The local pane"},
    {"PanelRemote", "The remote pane"},
    {"ToolBar1", "The main commands"},
    {"LocalButtons", "The local pane's commands"},
    {"StatusBar", "The connection, the running transfer and the last failure"},
    {"imgLock", "Shown while the session is encrypted"},
    {"MainMenu", "The program's commands by subject"},
    {"PanelPath", "The remote folder's path and the button to its parent"},
    {"PanelFiles", "The remote files and the size of those selected"},
    {"File1", "Sessions and saved servers"},
    {"Options1", "The program's preferences"},
    {"Local1", "Commands of the local pane"},
    {"Remote1", "Commands of the remote pane"},
    {"Transfer1", "Copying between the panes"},
    {"pmLocal", "Commands for the local pane's selection"},
    {"pmRemote", "Commands for the remote pane's selection"},
    {"QuickConnectToolBar", "Connects to a server without saving it"},
    {"QuickConnectBar", "Connects to a server without saving it"},
    {"edQuickUser", "The user name to log in with; empty for an anonymous login"},
    {"edQuickPassword", "The password of the user; it is never saved"},
    {"edQuickPort", "The server's port; empty for the usual one"},
    {"lblQuickProblem", "Why the server typed in cannot be connected to"},
    {"StatusConnection", "Whether a server is connected, and which"},
    // The one-line input dialog.
    {"TInputForm", "Asks for one line of text"},
    {"Prompt", "What the dialog asks for"},
    {"Edit1", "The text asked for"},
    {"MaskPassword", "Shows the text as stars while it is typed"},
    // The server properties dialog.
    {"TFFtpBase", "The properties of a saved server"},
    {"NameEdt", "The name the server is listed under"},
    {"ServerEdt", "The server's host name or address, or an ftp:// address"},
    {"PortEdt", "The server's port; empty for the usual one"},
    {"UserEdt", "The user name to log in with"},
    {"PasswordEdt", "The password to log in with"},
    {"AccountEdt", "The account some servers ask for after the password"},
    {"EMailEdt", "The e-mail address sent as the password of an anonymous login"},
    {"AnonymousCB", "Logs in as anonymous with the e-mail address as password"},
    {"SavePasswordCB", "Keeps the password in the server list; else it is asked for"},
    {"cbPv", "Opens data connections from this side (passive mode)"},
    {"cbVH", "The server is a virtual host shared with others"},
    {"cbMPsw", "Shows the password as stars"},
    {"cbEncryption", "Whether and how the session is encrypted with TLS"},
    {"cbDataConnection", "How passive data connections are asked for: PASV, or EPSV first"},
    {"RemoteDirEdt", "The remote folder the session starts in"},
    {"LocalDir", "The local folder the session starts in"},
    {"Browse", "Chooses the local folder"},
    {"cbType", "How the server's listings are laid out"},
    {"pnCustom", "A listing layout of your own: the word positions of each field"},
    {"cbName", "The layout of your own to use"},
    {"add", "Adds a listing layout of your own"},
    {"edit", "Changes the listing layout chosen"},
    {"eFName", "The word position of the file name"},
    {"eFSize", "The word position of the size"},
    {"eFDate", "The word position of the date"},
    {"eFDate2", "The word position of the date's second part"},
    {"eFTime", "The word position of the time"},
    {"eFAttr", "The word position of the attributes"},
    {"mDesc", "A note about the server"},
    // The preferences dialog.
    {"T_Options", "The program's preferences"},
    {"tvPages", "The pages of the preferences"},
    {"lbPage", "The page shown"},
    {"pcPages", "The preferences of the page chosen"},
    {"rgType", "How connections are made: directly or through a proxy"},
    {"rgType0", "Connects to servers directly"},
    {"rgType1", "Connects through an FTP proxy"},
    {"rgType2", "Connects through a SOCKS 4 proxy"},
    {"rgType3", "Connects through a SOCKS 4A proxy"},
    {"rgType4", "Connects through a SOCKS 5 proxy"},
    {"pnProxy", "The FTP proxy"},
    {"eProxyServer", "The FTP proxy's host name or address"},
    {"eProxyPort", "The FTP proxy's port"},
    {"eProxyPsw", "The FTP proxy's password"},
    {"cbProxyMask", "Shows the proxy's password as stars"},
    {"pnSocks", "The SOCKS proxy"},
    {"eSocksServer", "The SOCKS proxy's host name or address"},
    {"eSocksPort", "The SOCKS proxy's port"},
    {"eSocksPsw", "The SOCKS proxy's password"},
    {"eSocksUC", "The user name for the SOCKS proxy"},
    {"cbSocksMask", "Shows the SOCKS password as stars"},
    {"cbFW", "Logs in through a firewall"},
    {"gbFW", "How the firewall takes the login"},
    {"eSimbol", "The character between user and host in a firewall login"},
    {"rgMode", "How files are transferred when no rule decides"},
    {"rgMode0", "Transfers files as text"},
    {"rgMode1", "Transfers files as bytes"},
    {"rgMode2", "Transfers files as text or bytes by their extension"},
    {"lbExt", "The extensions of the files transferred as text"},
    {"bAdd", "Adds an extension"},
    {"bModify", "Changes the extension chosen"},
    {"bRemove", "Removes the extension chosen"},
    {"seTimeOut", "Seconds to wait for the server before giving up"},
    {"seRetry", "How often a failed connect is tried again"},
    {"cbAno", "Logs in anonymously with this e-mail address"},
    {"eAno", "The e-mail address sent as the password of an anonymous login"},
    {"cbPassive", "Opens data connections from this side (passive mode)"},
    {"cbSync", "Waits for each command to finish"},
    // The permissions dialog.
    {"T_ChMod", "The permissions of a remote file"},
    {"cb1", "Owner may read"},
    {"cb2", "Owner may write"},
    {"cb3", "Owner may execute"},
    {"cb4", "Group may read"},
    {"cb5", "Group may write"},
    {"cb6", "Group may execute"},
    {"cb7", "Others may read"},
    {"cb8", "Others may write"},
    {"cb9", "Others may execute"},
    // The commands dialog.
    {"T_FCmd", "The saved commands"},
    {"eAl", "The name of the command"},
    {"eCmd", "The command sent to the server"},
    {"btAdd", "Saves the command under its name"},
    {"btRemove", "Removes the command chosen"},
    {"btSelect", "Sends the command chosen"},
    {"btClose", "Closes the dialog"},
    // The question about a file that exists.
    {"TFReWrite", "Asks what to do with a file that exists already"},
    {"re1", "The file that exists and the one that would replace it"},
    {"Label1", "The question"},
    {"ResumeBtn", "Goes on from the end of the file there"},
    {"OverwriteBtn", "Replaces the file"},
    {"AllBtn", "Replaces this file and every other one of the batch"},
    {"SkipBtn", "Leaves the file as it is"},
    {"SaveasBtn", "Writes the file under another name"},
    // The certificate question.
    {"TCertificateDialog", "Asks whether to trust a server's certificate"},
    {"lblHeading", "Why the certificate could not be verified"},
    {"lblAdvice", "What trusting the certificate means"},
    {"edSubject", "Whom the certificate was issued to"},
    {"edIssuer", "Who issued the certificate"},
    {"edValidFrom", "When the certificate became valid"},
    {"edValidUntil", "When the certificate stops being valid"},
    {"edFingerprint", "The certificate's SHA-256 fingerprint, to compare with the server's"},
    {"TrustAlwaysBtn", "Trusts this certificate for this server from now on"},
    {"TrustThisTimeBtn", "Trusts this certificate until the window closes"},
    {"MessageBox", "A message or a question"},
    {"gbFW0", "Logs in to the firewall in its general way"},
    {"gbFW1", "Logs in to the firewall, then names the server with SITE"},
    {"gbFW2", "Sends USER with the user and the server's name to the firewall"},
    {"gbFW3", "Logs in to the firewall, then sends USER with the user and the server's name"},
    {"gbFW4", "Sends the firewall's login in USER, PASS and ACCT"},
    {"gbFW5", "Logs in to the firewall, then names the server with OPEN"},
    {"gbFW6", "A firewall login of your own"},
};

// The row and column buttons of the permissions dialog.
constexpr TDescribed kPermissionButtons[] = {
    {"SpeedButton3", "Checks or clears reading for everyone"},
    {"SpeedButton4", "Checks or clears writing for everyone"},
    {"SpeedButton5", "Checks or clears executing for everyone"},
    {"SpeedButton6", "Checks or clears every permission of the owner"},
    {"SpeedButton7", "Checks or clears every permission of the group"},
    {"SpeedButton8", "Checks or clears every permission of the others"},
};

// Submenus by their caption: the same caption names a command elsewhere ("View").
constexpr TDescribed kSubmenus[] = {
    {"select", "Selecting the pane's items, all of them or by a mask"},
    {"change case", "Renaming the selected names to another case"},
    {"sorting", "The order of the pane's items"},
    {"view", "How the pane shows its items"},
};

// Names of the controls that show no text of their own.
constexpr TDescribed kNames[] = {
    {"MainMenu", "Menu bar"},
    {"Splitter1", "Panes"},
    {"Splitter2", "Remote files and log"},
    {"PanelLocal", "Local pane"},
    {"PanelRemote", "Remote pane"},
    {"PanelPath", "Remote path"},
    {"PanelFiles", "Remote files"},
    {"Panel17", "Command panel"},
    {"LocalButtons", "Local pane commands"},
    {"pmLocal", "Local pane menu"},
    {"pmRemote", "Remote pane menu"},
    {"StatusBar", "Status bar"},
    {"pcPages", "Preferences page"},
    {"FTPView", "Remote files"},
    {"lvLoc", "Local files"},
};

// A pane's two views carry the pane's name and what they show it as.
struct TViewSuffix {
    const char* suffix;
    const char* name;
    const char* description;
};
constexpr TViewSuffix kViewSuffixes[] = {
    {"Report", " in columns", "as a list with columns"},
    {"List", " as a list", "as a list or icons"},
};

template <size_t N>
QHash<QString, QString> MakeTable(const TDescribed (&entries)[N]) {
    QHash<QString, QString> table;
    for (const TDescribed& d : entries)
        table.insert(QString::fromLatin1(d.key), QString::fromLatin1(d.description));
    return table;
}

QString ByCaption(const QString& caption) {
    static const QHash<QString, QString> table = MakeTable(kByCaption);
    return table.value(PlainCaption(caption).toLower());
}

// A pane view's name or description from its pane's: "FTPViewReport" is FTPView's.
template <typename Part>
QString ForView(const QHash<QString, QString>& table, const QString& name, Part part) {
    for (const TViewSuffix& v : kViewSuffixes) {
        const QString suffix = QString::fromLatin1(v.suffix);
        if (name.size() > suffix.size() && name.endsWith(suffix)) {
            const QString pane = table.value(name.chopped(suffix.size()));
            if (!pane.isEmpty()) return pane + part(v);
        }
    }
    return {};
}

QString ByName(const QString& name) {
    static const QHash<QString, QString> table = MakeTable(kByName);
    if (const auto it = table.constFind(name); it != table.constEnd()) return *it;
    return ForView(table, name, [](const TViewSuffix& v) {
        return QStringLiteral(", ") + QString::fromLatin1(v.description);
    });
}

QString NameOf(const QString& objectName) {
    static const QHash<QString, QString> table = MakeTable(kNames);
    if (const auto it = table.constFind(objectName); it != table.constEnd()) return *it;
    return ForView(table, objectName,
                   [](const TViewSuffix& v) { return QString::fromLatin1(v.name); });
}

QString SubmenuDescription(const QString& title) {
    static const QHash<QString, QString> table = MakeTable(kSubmenus);
    return table.value(PlainCaption(title).toLower());
}

// What a widget shows of itself as its name.
QString ShownName(QWidget& w) {
    if (auto* b = qobject_cast<QAbstractButton*>(&w)) {
        if (!b->text().isEmpty()) return PlainCaption(b->text());
        if (auto* t = qobject_cast<QToolButton*>(b); t && t->defaultAction())
            return PlainCaption(t->defaultAction()->text());
    }
    if (auto* l = qobject_cast<QLabel*>(&w); l && !l->text().isEmpty() && l->pixmap().isNull())
        return PlainCaption(l->text());
    if (auto* g = qobject_cast<QGroupBox*>(&w); g && !g->title().isEmpty())
        return PlainCaption(g->title());
    if (auto* m = qobject_cast<QMenu*>(&w); m && !m->title().isEmpty())
        return PlainCaption(m->title());
    if (auto* e = qobject_cast<QLineEdit*>(&w); e && !e->placeholderText().isEmpty())
        return e->placeholderText();
    // Windows and toolbars have titles.
    if (!w.windowTitle().isEmpty()) return PlainCaption(w.windowTitle());
    if (!w.toolTip().isEmpty()) return PlainCaption(w.toolTip());
    return NameOf(w.objectName());
}

QString Describe(const QString& name, const QString& caption, const QString& shownName,
                 const QString& tip, const QString& statusTip) {
    QString d = ByName(name);
    if (d.isEmpty()) d = ByCaption(caption);
    if (d.isEmpty() && !statusTip.isEmpty()) d = statusTip;
    if (d.isEmpty() && !tip.isEmpty() && PlainCaption(tip) != shownName) d = tip;
    return d;
}

void DescribeAction(QAction& a) {
    if (a.isSeparator()) return;
    // A submenu's action is found by the submenu's name.
    if (a.objectName().isEmpty() && a.menu() && !a.menu()->objectName().isEmpty())
        a.setObjectName(a.menu()->objectName());
    if (a.statusTip().isEmpty()) {
        QString d = ByName(a.objectName());
        if (d.isEmpty() && a.menu()) d = SubmenuDescription(a.text());
        if (d.isEmpty()) d = ByCaption(a.text());
        if (!d.isEmpty()) a.setStatusTip(d);
    }
    if (a.whatsThis().isEmpty() && !a.statusTip().isEmpty()) a.setWhatsThis(a.statusTip());
}

void DescribeWidget(QWidget& w) {
    // A label's text names the field it is the buddy of.
    if (auto* l = qobject_cast<QLabel*>(&w); l && l->buddy() && !l->text().isEmpty()) {
        if (l->buddy()->accessibleName().isEmpty())
            l->buddy()->setAccessibleName(PlainCaption(l->text()));
    }
    if (w.accessibleName().isEmpty()) {
        const QString shown = ShownName(w);
        if (!shown.isEmpty()) w.setAccessibleName(shown);
    }
    if (w.accessibleDescription().isEmpty()) {
        QString caption = w.accessibleName();
        QString statusTip = w.statusTip();
        if (auto* t = qobject_cast<QToolButton*>(&w); t && t->defaultAction()) {
            caption = t->defaultAction()->text();
            if (statusTip.isEmpty()) statusTip = t->defaultAction()->statusTip();
        }
        QString d;
        if (auto* m = qobject_cast<QMenu*>(&w)) d = SubmenuDescription(m->title());
        if (w.window() && w.window()->objectName() == "T_ChMod") {
            static const QHash<QString, QString> buttons = MakeTable(kPermissionButtons);
            if (d.isEmpty()) d = buttons.value(w.objectName());
        }
        if (d.isEmpty())
            d = Describe(w.objectName(), caption, w.accessibleName(), w.toolTip(), statusTip);
        if (!d.isEmpty()) w.setAccessibleDescription(d);
    }
}

}  // namespace

QString PlainCaption(QString text) {
    text.remove('&');
    text = text.trimmed();
    if (text.endsWith("...")) text.chop(3);
    if (text.endsWith(':')) text.chop(1);
    return text.trimmed();
}

QString ControlDescription(const QString& objectName, const QString& caption) {
    const QString d = ByName(objectName);
    return d.isEmpty() ? ByCaption(caption) : d;
}

void DescribeControls(QWidget& root) {
    // Actions first: the tool buttons showing them take their descriptions.
    for (QAction* a : root.findChildren<QAction*>()) DescribeAction(*a);
    for (QAction* a : root.actions()) DescribeAction(*a);
    DescribeWidget(root);
    for (QWidget* w : root.findChildren<QWidget*>()) DescribeWidget(*w);
}

}  // namespace tarnwick::ui
