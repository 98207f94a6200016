#include "ui/recent_documents.h"

#include "platform/errors.h"
#include "platform/file_attributes.h"
#include "platform/folders.h"
#include "platform/output_file.h"
#include "platform/paths.h"
#include "platform/stream.h"

#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QUrl>

#include <optional>

namespace kvb::ui {

namespace {

// Larger lists are someone else's trouble; reading them whole would be ours.
constexpr int64_t kLargestList = 16 << 20;

const QString kBookmarkNamespace = "http://www.freedesktop.org/standards/desktop-bookmarks";
const QString kMimeNamespace = "http://www.freedesktop.org/standards/shared-mime-info";
const QString kApplication = "KVB Editor";

QString Now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

// The first child element of parent named name (a qualified name, as the list writes it),
// made when there is none.
QDomElement Child(QDomDocument &document, QDomElement parent, const QString &name)
{
    QDomElement child = parent.firstChildElement(name);
    if (child.isNull())
        child = parent.appendChild(document.createElement(name)).toElement();
    return child;
}

QDomDocument NewList()
{
    QDomDocument document;
    document.appendChild(
        document.createProcessingInstruction("xml", R"(version="1.0" encoding="UTF-8")"));
    QDomElement root = document.createElement("xbel");
    root.setAttribute("version", "1.0");
    root.setAttribute("xmlns:bookmark", kBookmarkNamespace);
    root.setAttribute("xmlns:mime", kMimeNamespace);
    document.appendChild(root);
    return document;
}

// The list as it stands; an empty list when there is no file yet; nothing when something is
// there that this cannot change without losing what others wrote or meant: a file that is no
// list, a link (pointed elsewhere, or at /dev/null to keep no list at all), a folder.
std::optional<QDomDocument> ReadList(const std::string &folder, const std::string &name)
{
    if (!FileAttributes(JoinPath(folder, name)))
        return NewList();
    std::string text;
    try {
        const TOpenFolder open(folder);
        TFileStream in(open, name, false);
        if (in.Size() > kLargestList)
            return std::nullopt;
        text.resize(size_t(in.Size()));
        in.ReadBuffer(text.data(), int64_t(text.size()));
    } catch (const EKVBError &) {
        return std::nullopt;
    }
    QDomDocument document;
    if (!document.setContent(QByteArray::fromStdString(text)) ||
        document.documentElement().tagName() != "xbel")
        return std::nullopt;
    return document;
}

} // namespace

QString RecentDocumentsFile()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + "/.local/share";
    return data + "/recently-used.xbel";
}

bool AddRecentDocument(const std::string &path, const QString &mimeType)
{
    const std::string file = RecentDocumentsFile().toStdString();
    const std::string folder = ParentFolderOf(file);
    try {
        if (CreateFolders(folder))
            return false;
        std::optional<QDomDocument> document = ReadList(folder, "recently-used.xbel");
        if (!document)
            return false;
        const QString href =
            QString::fromLatin1(QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded());
        const QString now = Now();

        // The document's bookmark, found by its address or added.
        QDomElement root = document->documentElement();
        QDomElement bookmark;
        for (QDomElement b = root.firstChildElement("bookmark"); !b.isNull();
             b = b.nextSiblingElement("bookmark"))
            if (b.attribute("href") == href)
                bookmark = b;
        if (bookmark.isNull()) {
            bookmark = root.appendChild(document->createElement("bookmark")).toElement();
            bookmark.setAttribute("href", href);
            bookmark.setAttribute("added", now);
        }
        bookmark.setAttribute("modified", now);
        bookmark.setAttribute("visited", now);

        // Its metadata: the type, and this program among those that used it, with one use more.
        QDomElement metadata = Child(*document, Child(*document, bookmark, "info"), "metadata");
        metadata.setAttribute("owner", "http://freedesktop.org");
        Child(*document, metadata, "mime:mime-type").setAttribute("type", mimeType);
        QDomElement applications = Child(*document, metadata, "bookmark:applications");
        QDomElement application;
        for (QDomElement a = applications.firstChildElement("bookmark:application"); !a.isNull();
             a = a.nextSiblingElement("bookmark:application"))
            if (a.attribute("name") == kApplication)
                application = a;
        if (application.isNull()) {
            application =
                applications.appendChild(document->createElement("bookmark:application")).toElement();
            application.setAttribute("name", kApplication);
            application.setAttribute("exec", "'kvbview %u'");
        }
        application.setAttribute("modified", now);
        application.setAttribute("count", QString::number(application.attribute("count").toInt() + 1));

        // Written whole beside the list and put in its place, as the desktop's own writers do.
        const QByteArray text = document->toByteArray(2);
        TOutputFile out(file, TOutputKind::Whole);
        out.Stream().WriteBuffer(text.constData(), text.size());
        out.Commit();
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

} // namespace kvb::ui
