// Header fields of Internet messages: RFC 2047 encoded words in UTF-8 with the
// "B" encoding, RFC 5322 display names and addresses, RFC 2231 parameters, and
// folding so that no line is longer than 78 columns.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

namespace Mime {

constexpr int kMaxLineLength = 78;
constexpr int kMaxEncodedWordLength = 75;

// The text as "=?UTF-8?B?...?=" words. The first word is at most firstLength
// columns long, every other at most kMaxEncodedWordLength; every word holds whole
// code points, so none ends inside a UTF-8 sequence or a surrogate pair.
QByteArrayList EncodeWords(const QString& text, int firstLength);

// An address as an RFC 5322 addr-spec: the local part bare when it is a dot-atom,
// quoted otherwise; control characters are dropped.
QByteArray AddrSpec(const QString& address);

// One header field, built token by token. Tokens are separated by one space, and
// a line break is put before a token that would pass column 78, so that unfolding
// gives back the same field.
class THeaderLine {
public:
    explicit THeaderLine(const QByteArray& name);

    // A token; `reserve` columns are kept free after it for punctuation that
    // Append will add.
    void AddToken(const QByteArray& token, int reserve = 0);
    // Characters joined to the last token without a space (",", ";").
    void Append(const QByteArray& text);

    // Unstructured text: printable ASCII words as they are, anything else (other
    // characters, leading, trailing or repeated spaces, "=?") as encoded words.
    void AddText(const QString& text, int reserve = 0);
    // A display name: atoms, a quoted string, or encoded words.
    void AddPhrase(const QString& name, int reserve = 0);
    // One mailbox: "name <address>", the bare address when there is no name, and a
    // named group without members ("name:;") when there is no address.
    void AddMailbox(const QString& name, const QString& address, int reserve = 0);
    // "; attribute=value": a bare token when `quote` is false and the value is one,
    // else a quoted string for short printable ASCII values, otherwise the RFC 2231
    // form in UTF-8 with continuations. The separating ";" is appended to the
    // token before.
    void AddParameter(const QString& attribute, const QString& value, bool quote = true);
    // "; attribute=value" for the readers that know only RFC 2047: a quoted string
    // for printable ASCII, else RFC 2047 encoded words inside the quotes, folded
    // between words.
    void AddEncodedWordParameter(const QString& attribute, const QString& value);

    // The field with its final CR LF.
    QByteArray Finish() const;

private:
    void AddEncoded(const QString& text, int reserve);

    QByteArray FOut;
    int FColumn = 0;
};

} // namespace Mime
