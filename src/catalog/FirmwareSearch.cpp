// Searching the catalogue: the searched fields of all records are folded for case once into one
// text, so that a search is a single Boyer-Moore scan instead of 24 case-blind compares a record.
#include "FirmwareCatalog.h"

#include <QStringMatcher>

#include <algorithm>
#include <limits>

namespace {

// The 24 searched fields of a record, in a fixed order.
template<typename Visit> void forEachSearchedField(const FirmwareInfo &r, Visit visit)
{
    visit(r.device_id);
    for (const FirmwareCategory *c : {&r.category1, &r.category2, &r.category3}) {
        visit(c->id);
        for (const QString &name : c->names)
            visit(name);
    }
    for (const QString &remark : r.remark)
        visit(remark);
}

// Simple case folding, code point by code point, exactly as Qt's case-blind comparison folds
// each character; the length never changes, so positions carry over.
void foldInPlace(QString *text)
{
    ushort *p = reinterpret_cast<ushort *>(text->data());
    const int n = text->size();
    for (int i = 0; i < n; ++i) {
        const ushort c = p[i];
        if (c < 0x80) {
            if (c >= 'A' && c <= 'Z')
                p[i] = ushort(c + ('a' - 'A'));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            const uint folded = QChar::toCaseFolded(QChar::surrogateToUcs4(c, p[i + 1]));
            p[i] = QChar::highSurrogate(folded);
            p[++i] = QChar::lowSurrogate(folded);
        } else {
            const uint folded = QChar::toCaseFolded(uint(c));
            p[i] = folded <= 0xffff ? ushort(folded) : c;
        }
    }
}

// A text that holds the field separator or a surrogate is searched field by field: Qt folds a
// surrogate at the edge of a match differently from one inside a whole text.
bool searchableInIndex(const QString &text)
{
    return std::none_of(text.begin(), text.end(),
                        [](QChar c) { return c.isNull() || c.isSurrogate(); });
}

bool fieldsContain(const FirmwareInfo &record, const QString &text)
{
    bool found = false;
    forEachSearchedField(record, [&](const QString &field) {
        found = found || field.contains(text, Qt::CaseInsensitive);
    });
    return found;
}

} // namespace

void FirmwareCatalog::indexForSearch()
{
    qsizetype length = 0;
    for (const FirmwareInfo &r : qAsConst(records))
        forEachSearchedField(r, [&](const QString &field) { length += field.size() + 1; });
    searchText.clear();
    searchStarts.clear();
    if (length > std::numeric_limits<int>::max())
        return; // beyond what one QString holds: searches compare field by field
    searchText.reserve(int(length));
    searchStarts.reserve(records.size() + 1);
    for (const FirmwareInfo &r : qAsConst(records)) {
        searchStarts.append(searchText.size());
        forEachSearchedField(r, [&](const QString &field) {
            searchText.append(field);
            searchText.append(QChar(0));
        });
    }
    searchStarts.append(searchText.size());
    foldInPlace(&searchText);
}

std::vector<bool> FirmwareCatalog::matchingRecords(const QString &text) const
{
    const int n = records.size();
    if (text == QLatin1String("*") || text.isEmpty())
        return std::vector<bool>(size_t(n), true);
    std::vector<bool> hits(size_t(n), false);
    if (searchStarts.size() != n + 1 || !searchableInIndex(text)) {
        for (int i = 0; i < n; ++i)
            hits[size_t(i)] = fieldsContain(records[i], text);
        return hits;
    }
    QString folded = text;
    foldInPlace(&folded);
    const QStringMatcher matcher(folded, Qt::CaseSensitive);
    for (int at = matcher.indexIn(searchText); at >= 0;) {
        // The record the hit lies in; its other fields need no look.
        const auto next = std::upper_bound(searchStarts.begin(), searchStarts.end(), at);
        hits[size_t(next - searchStarts.begin() - 1)] = true;
        at = next == searchStarts.end() ? -1 : matcher.indexIn(searchText, *next);
    }
    return hits;
}
