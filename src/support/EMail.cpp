#include "EMail.h"

namespace {

bool IsAtomChar(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))
        return true;
    return QStringView(u"!#$%&'*+-/=?_`{}|~").contains(c);
}

bool IsNameChar(QChar c) { return IsAtomChar(c) || c == QLatin1Char(' '); }

QString Escape(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    for (QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QString AddressForm(const QString& address, bool nameEmpty)
{
    if (address.isEmpty())
        return nameEmpty ? QString() : QStringLiteral("<>");
    const qsizetype at = address.lastIndexOf(QLatin1Char('@'));
    const QString local = at < 0 ? address : address.left(at);
    const QString domain = at < 0 ? QString() : address.mid(at);
    bool plain = true;
    for (QChar c : local) {
        if (!IsAtomChar(c)) {
            plain = c == QLatin1Char('.');
            break;
        }
    }
    if (plain)
        return nameEmpty ? address : QLatin1Char('<') + address + QLatin1Char('>');
    return QStringLiteral("<\"") + Escape(local) + QLatin1Char('"') + domain + QLatin1Char('>');
}

// Removes the quotes and backslash escapes of quoted strings in a text; the
// characters outside quotes are kept as they are.
QString Unquote(QStringView text)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < text.size()) {
            out += text[++i];
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else {
            out += c;
        }
    }
    return out;
}

// Splits a mailbox text into display name and address.
void ParseMailbox(QStringView text, QString& name, QString& address)
{
    text = text.trimmed();
    // Find an opening angle bracket outside quoted strings.
    bool quoted = false;
    qsizetype open = -1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == QLatin1Char('\\')) {
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('<')) {
            open = i;
            break;
        }
    }
    if (open < 0) {
        name.clear();
        address = Unquote(text);
        return;
    }
    qsizetype close = -1;
    quoted = false;
    for (qsizetype i = open + 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == QLatin1Char('\\')) {
            ++i;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('>')) {
            close = i;
            break;
        }
    }
    if (close < 0)
        close = text.size();
    name = Unquote(text.left(open).trimmed());
    address = Unquote(text.mid(open + 1, close - open - 1).trimmed());
}

} // namespace

QString TMailAddressPair::GetText() const
{
    if (FName.isEmpty() || FName.compare(FAddress, Qt::CaseInsensitive) == 0)
        return AddressForm(FAddress, FName.isEmpty());
    bool bare = true;
    for (QChar c : FName) {
        if (!IsNameChar(c)) {
            bare = false;
            break;
        }
    }
    const QString form = AddressForm(FAddress, false);
    if (bare)
        return FName + QLatin1Char(' ') + form;
    return QLatin1Char('"') + Escape(FName) + QStringLiteral("\" ") + form;
}

void TMailAddressPair::SetText(const QString& Value) { ParseMailbox(Value, FName, FAddress); }

IMailAddressPairPtr TMailAddressPair::Clone() const
{
    return std::make_shared<TMailAddressPair>(FName, FAddress);
}

bool TMailAddressPair::Equal(const IMailAddressPair& Other) const
{
    return FName == Other.GetName() && FAddress == Other.GetAddress();
}

IMailAddressPairPtr CreateMailAddressPair(const QString& AName, const QString& AAddress)
{
    return std::make_shared<TMailAddressPair>(AName, AAddress);
}

IMailAddressPairPtr CreateMailAddressPair(const QString& Text)
{
    auto pair = std::make_shared<TMailAddressPair>(QString(), QString());
    pair->SetText(Text);
    return pair;
}

namespace MailAddressPair {

QString ToCommaText(const std::vector<IMailAddressPairPtr>& Address)
{
    QString out;
    for (std::size_t i = 0; i < Address.size(); ++i) {
        if (i > 0)
            out += QStringLiteral(", ");
        out += Address[i]->GetText();
    }
    return out;
}

QString ToCommaText(const std::vector<IMailAddressPairPtr>& Address, const QString& Sep)
{
    if (Sep == QStringLiteral(","))
        return ToCommaText(Address);
    QString out;
    for (std::size_t i = 0; i < Address.size(); ++i) {
        if (i > 0)
            out += Sep;
        out += Address[i]->GetText();
    }
    return out;
}

std::vector<IMailAddressPairPtr> ParseAddressList(const QString& Text)
{
    std::vector<IMailAddressPairPtr> result;
    bool quoted = false;
    int angle = 0;
    qsizetype start = 0;
    auto flush = [&](qsizetype end) {
        const QStringView item = QStringView(Text).mid(start, end - start).trimmed();
        if (!item.isEmpty()) {
            QString name, address;
            ParseMailbox(item, name, address);
            result.push_back(CreateMailAddressPair(name, address));
        }
        start = end + 1;
    };
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text[i];
        if (quoted) {
            if (c == QLatin1Char('\\'))
                ++i;
            else if (c == QLatin1Char('"'))
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char('<')) {
            ++angle;
        } else if (c == QLatin1Char('>')) {
            if (angle > 0)
                --angle;
        } else if (c == QLatin1Char(',') && angle == 0) {
            flush(i);
        }
    }
    flush(Text.size());
    return result;
}

} // namespace MailAddressPair
