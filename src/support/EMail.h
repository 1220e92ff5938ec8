// Mail address pairs: a (display name, address) value with its RFC 5322 mailbox
// text, and the address-list text made from several of them.
#pragma once

#include <QString>
#include <memory>
#include <vector>

class IMailAddressPair;
using IMailAddressPairPtr = std::shared_ptr<IMailAddressPair>;

class IMailAddressPair {
public:
    virtual ~IMailAddressPair() = default;
    virtual QString GetAddress() const = 0;
    virtual QString GetName() const = 0;
    virtual void SetAddress(const QString& Value) = 0;
    virtual void SetName(const QString& Value) = 0;
    // The mailbox text: the name (bare or quoted) and the address in angle brackets,
    // or the bare address when the name is empty.
    virtual QString GetText() const = 0;
    // Parses one mailbox text into name and address.
    virtual void SetText(const QString& Value) = 0;
    virtual IMailAddressPairPtr Clone() const = 0;
    virtual bool Equal(const IMailAddressPair& Other) const = 0;
    virtual bool NotEqual(const IMailAddressPair& Other) const = 0;
};

class TMailAddressPair : public IMailAddressPair {
public:
    TMailAddressPair(const QString& AName, const QString& AAddress)
        : FName(AName), FAddress(AAddress)
    {
    }
    QString GetAddress() const override { return FAddress; }
    QString GetName() const override { return FName; }
    void SetAddress(const QString& Value) override { FAddress = Value; }
    void SetName(const QString& Value) override { FName = Value; }
    QString GetText() const override;
    void SetText(const QString& Value) override;
    IMailAddressPairPtr Clone() const override;
    bool Equal(const IMailAddressPair& Other) const override;
    bool NotEqual(const IMailAddressPair& Other) const override { return !Equal(Other); }

private:
    QString FName;
    QString FAddress;
};

IMailAddressPairPtr CreateMailAddressPair(const QString& AName, const QString& AAddress);
IMailAddressPairPtr CreateMailAddressPair(const QString& Text);

namespace MailAddressPair {

// The mailbox texts of the pairs joined with ", ".
QString ToCommaText(const std::vector<IMailAddressPairPtr>& Address);
// With Sep exactly ",", as above; otherwise the mailbox texts joined with Sep.
QString ToCommaText(const std::vector<IMailAddressPairPtr>& Address, const QString& Sep);

// Parses an address-list text, as ToCommaText writes it, back into its pairs.
// Commas inside quoted names, quoted local parts and angle brackets do not split.
std::vector<IMailAddressPairPtr> ParseAddressList(const QString& Text);

} // namespace MailAddressPair
