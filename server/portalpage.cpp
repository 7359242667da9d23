#include "server/portalpage.h"

#include "server/protocol.h"

namespace zv::server {

QString htmlEscape(const QString &text)
{
    return text.toHtmlEscaped().replace(u'\'', QStringLiteral("&#39;"));
}

QString formatSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    if (bytes < 1024LL * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(double(bytes) / (1024.0 * 1024.0 * 1024.0), 0, 'f', 2);
}

static QString stars(int score)
{
    if (score < 1)
        return QStringLiteral("<span class=\"unrated\">未评分</span>");
    const int s = std::min(score, 5);
    return QStringLiteral("<span class=\"stars\" title=\"%1 星\">%2<span class=\"off\">%3</span></span>")
        .arg(s)
        .arg(QString(s, QChar(0x2605)), QString(5 - s, QChar(0x2605)));
}

static QString typeBadge(const QString &fileName)
{
    const auto dot = fileName.lastIndexOf(u'.');
    const QString ext = dot >= 0 ? fileName.mid(dot + 1).toLower().left(5) : QString();
    QString kind = QStringLiteral("other");
    if (ext == u"doc" || ext == u"docx" || ext == u"wps" || ext == u"rtf" || ext == u"txt" || ext == u"pdf")
        kind = QStringLiteral("doc");
    else if (ext == u"ppt" || ext == u"pptx" || ext == u"pps" || ext == u"swf" || ext == u"fla")
        kind = QStringLiteral("slides");
    else if (ext == u"xls" || ext == u"xlsx")
        kind = QStringLiteral("sheet");
    else if (ext == u"jpg" || ext == u"jpeg" || ext == u"png" || ext == u"gif" || ext == u"bmp")
        kind = QStringLiteral("image");
    else if (ext == u"mp3" || ext == u"wav" || ext == u"wma" || ext == u"mid" || ext == u"mp4" || ext == u"avi"
             || ext == u"wmv" || ext == u"rm" || ext == u"rmvb" || ext == u"mpg")
        kind = QStringLiteral("media");
    return QStringLiteral("<span class=\"badge %1\">%2</span>").arg(kind, ext.isEmpty() ? QStringLiteral("文件") : htmlEscape(ext.toUpper()));
}

static QString metaItem(const QString &label, const QString &value)
{
    if (value.trimmed().isEmpty())
        return {};
    return QStringLiteral("<span class=\"meta\"><b>%1</b>%2</span>").arg(label, htmlEscape(value));
}

static const char kStyle[] = R"CSS(
*{box-sizing:border-box}
body{margin:0;font-family:"Noto Sans CJK SC","Microsoft YaHei","PingFang SC",sans-serif;background:#f3f5f9;color:#1f2937}
header{background:linear-gradient(120deg,#1d4ed8,#0f766e);color:#fff;padding:28px 0 64px}
.wrap{max-width:980px;margin:0 auto;padding:0 24px}
h1{margin:0;font-size:26px;font-weight:700;letter-spacing:1px}
.tagline{margin:6px 0 0;opacity:.85;font-size:14px}
form.search{display:flex;gap:10px;margin:-34px auto 0;max-width:980px;padding:0 24px}
form.search input{flex:1;font-size:17px;padding:15px 18px;border:1px solid #d1d5db;border-radius:12px;box-shadow:0 6px 18px rgba(15,23,42,.08);outline:none;font-family:inherit}
form.search input:focus{border-color:#2563eb;box-shadow:0 0 0 3px rgba(37,99,235,.2)}
form.search button{font-size:16px;padding:0 28px;border:0;border-radius:12px;background:#f59e0b;color:#fff;font-weight:700;cursor:pointer;font-family:inherit;box-shadow:0 6px 18px rgba(15,23,42,.08)}
form.search button:hover{background:#d97706}
.stats{display:flex;gap:18px;color:#6b7280;font-size:13px;margin:16px 0 6px}
.stats b{color:#111827}
.summary{font-size:14px;color:#374151;margin:18px 0 10px}
.result{display:flex;gap:16px;background:#fff;border:1px solid #e5e7eb;border-radius:12px;padding:16px 18px;margin:0 0 12px;transition:box-shadow .15s}
.result:hover{box-shadow:0 8px 22px rgba(15,23,42,.08)}
.badge{flex:none;width:56px;height:56px;border-radius:10px;display:flex;align-items:center;justify-content:center;font-size:13px;font-weight:700;color:#fff;background:#64748b}
.badge.doc{background:#2563eb}.badge.slides{background:#ea580c}.badge.sheet{background:#16a34a}.badge.image{background:#9333ea}.badge.media{background:#db2777}
.body{flex:1;min-width:0}
.title{display:flex;align-items:baseline;gap:12px;flex-wrap:wrap}
.title a{font-size:17px;font-weight:700;color:#1d4ed8;text-decoration:none;word-break:break-all}
.title a:hover{text-decoration:underline}
.size{color:#6b7280;font-size:13px}
.stars{color:#f59e0b;letter-spacing:1px;font-size:15px}.stars .off{color:#e5e7eb}
.unrated{color:#9ca3af;font-size:13px}
.metas{margin-top:8px;display:flex;flex-wrap:wrap;gap:6px}
.meta{font-size:12.5px;background:#f1f5f9;color:#334155;border-radius:999px;padding:3px 10px}
.meta b{font-weight:600;color:#64748b;margin-right:4px}
.desc{margin:8px 0 0;font-size:13.5px;color:#4b5563;line-height:1.6}
.side{flex:none;display:flex;flex-direction:column;align-items:flex-end;justify-content:space-between;gap:8px}
.get{display:inline-block;background:#1d4ed8;color:#fff;text-decoration:none;padding:8px 18px;border-radius:8px;font-size:14px;font-weight:600;white-space:nowrap}
.get:hover{background:#1e40af}
.holders{font-size:12px;color:#6b7280;white-space:nowrap}
.empty{background:#fff;border:1px dashed #cbd5e1;border-radius:12px;padding:36px;text-align:center;color:#6b7280}
.hint{color:#6b7280;font-size:14px;line-height:1.8}
footer{color:#9ca3af;font-size:12px;text-align:center;padding:28px 0}
)CSS";

QByteArray renderPortalPage(const QString &query, const QList<PortalHit> &hits, const PortalStats &stats, bool searched)
{
    QString h;
    h += QStringLiteral("<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                        "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
                        "<title>Zorvan 教学资源搜索</title><style>");
    h += QString::fromUtf8(kStyle);
    h += QStringLiteral("</style></head><body><header><div class=\"wrap\"><h1>Zorvan 教学资源共享</h1>"
                        "<p class=\"tagline\">搜索老师们共享的教案、试卷、课件、图片、音视频与软件</p></div></header>");
    h += QStringLiteral("<form class=\"search\" method=\"get\" action=\"/\"><input name=\"q\" value=\"%1\" "
                        "placeholder=\"输入资源名称、学科、年级或知识点…\" autofocus aria-label=\"搜索\">"
                        "<button type=\"submit\">搜索</button></form><main class=\"wrap\">")
             .arg(htmlEscape(query));
    h += QStringLiteral("<div class=\"stats\"><span>已索引资源 <b>%1</b></span><span>在线节点 <b>%2</b></span>"
                        "<span>注册用户 <b>%3</b></span></div>")
             .arg(stats.resources).arg(stats.onlineNodes).arg(stats.users);
    if (!searched) {
        h += QStringLiteral("<p class=\"hint\">输入关键词后按“搜索”。点击资源名称或“下载”即可在 Zorvan 客户端中开始下载；"
                            "多个关键词用空格分开，全部匹配的资源才会列出。</p>");
    } else if (hits.isEmpty()) {
        h += QStringLiteral("<div class=\"empty\">没有找到与“%1”相关的资源，请换个关键词试试。</div>").arg(htmlEscape(query));
    } else {
        h += QStringLiteral("<p class=\"summary\">找到 <b>%1</b> 个资源</p>").arg(hits.size());
        for (const PortalHit &hit : hits) {
            const ResourceInfo &r = hit.info;
            const QString link = htmlEscape(resourceLink(r.fileName, r.fileCode));
            h += QStringLiteral("<div class=\"result\">") + typeBadge(r.fileName);
            h += QStringLiteral("<div class=\"body\"><div class=\"title\"><a href=\"%1\" data-link=\"%1\">%2</a>"
                                "<span class=\"size\">%3</span>%4</div><div class=\"metas\">")
                     .arg(link, htmlEscape(r.fileName), formatSize(r.fileSize), stars(r.score));
            h += metaItem(QStringLiteral("学段"), r.phase) + metaItem(QStringLiteral("学科"), r.subject)
                 + metaItem(QStringLiteral("年级"), r.grade) + metaItem(QStringLiteral("出版社"), r.chubanshe)
                 + metaItem(QStringLiteral("章"), r.zhang) + metaItem(QStringLiteral("节"), r.jie)
                 + metaItem(QStringLiteral("知识点"), r.ken) + metaItem(QStringLiteral("分类"), r.sort);
            h += QStringLiteral("</div>");
            const QString desc = r.resume.join(u' ').trimmed();
            if (!desc.isEmpty())
                h += QStringLiteral("<p class=\"desc\">%1</p>").arg(htmlEscape(desc.left(300)));
            h += QStringLiteral("</div><div class=\"side\"><a class=\"get\" href=\"%1\">下载</a>"
                                "<span class=\"holders\">%2 台电脑共享</span></div></div>")
                     .arg(link).arg(hit.holders);
        }
    }
    h += QStringLiteral("</main><footer>Zorvan 教学资源共享平台</footer></body></html>");
    return h.toUtf8();
}

} // namespace zv::server
