#include "client/core/regions.h"

#include "platform/textfile.h"

namespace zv::client {

const QStringList &provinceList()
{
    static const QStringList list = QStringLiteral(
        "北京 上海 天津 重庆 河北 山西 内蒙古 辽宁 吉林 黑龙江 江苏 浙江 安徽 福建 江西 山东 河南 湖北 湖南 "
        "广东 广西 海南 四川 贵州 云南 西藏 陕西 甘肃 青海 宁夏 新疆 香港 澳门 台湾").split(u' ');
    return list;
}

const QStringList &subjectList()
{
    static const QStringList list = QStringLiteral(
        "语文 数学 英语 物理 化学 生物 地理 政治 历史 科学 自然 音乐 美术 体育 劳动 综合 其他").split(u' ');
    return list;
}

QStringList citiesOf(const QStringList &lines, const QString &province)
{
    QStringList cities;
    if (province.isEmpty())
        return cities;
    bool inRun = false;
    for (const QString &line : lines) {
        const qsizetype space = line.indexOf(u' ');
        // A line without a space names no province.
        const QString head = space < 0 ? QString() : line.left(space);
        if (head == province) {
            inRun = true;
            cities << line.mid(space + 1);
        } else if (inRun) {
            break;
        }
    }
    return cities;
}

QStringList citiesOf(const QString &path, const QString &province)
{
    const auto lines = platform::readLines(path);
    return lines ? citiesOf(*lines, province) : QStringList();
}

} // namespace zv::client
