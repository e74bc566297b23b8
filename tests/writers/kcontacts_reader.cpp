// Reads a file of vCards with KDE's KContacts, as KAddressBook imports it, and prints what it
// understood as JSON: one array per card of [property, "TYPES", [values]], in the form the
// vCard checks of zimbra_outputs.py compare. Built and run by vcard_file_readers.py.
#include <KContacts/Addressee>
#include <KContacts/VCardConverter>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>
#include <cstdio>
#include <initializer_list>
#include <utility>

namespace {

QJsonArray line(const QString& name, QStringList types, const QStringList& values) {
    types.sort();
    return QJsonArray{name, types.join(QLatin1Char(' ')), QJsonArray::fromStringList(values)};
}

template <typename Flags, typename Flag>
QStringList typeNames(Flags flags, std::initializer_list<std::pair<Flag, const char*>> names) {
    QStringList out;
    for (const auto& [flag, name] : names) {
        if (flags & flag) {
            out << QString::fromLatin1(name);
        }
    }
    return out;
}

QJsonArray cardLines(const KContacts::Addressee& a) {
    using KContacts::Address;
    using KContacts::PhoneNumber;
    QJsonArray lines;
    lines.append(line(QStringLiteral("N"), {},
                      {a.familyName(), a.givenName(), a.additionalName(), a.prefix(), a.suffix()}));
    lines.append(line(QStringLiteral("FN"), {}, {a.formattedName()}));
    lines.append(line(QStringLiteral("NICKNAME"), {}, {a.nickName()}));
    lines.append(line(QStringLiteral("ORG"), {}, {a.organization(), a.department()}));
    lines.append(line(QStringLiteral("TITLE"), {}, {a.title()}));
    for (const auto& phone : a.phoneNumbers()) {
        lines.append(line(QStringLiteral("TEL"),
                          typeNames(phone.type(), {std::pair{PhoneNumber::Home, "HOME"},
                                                   {PhoneNumber::Work, "WORK"},
                                                   {PhoneNumber::Voice, "VOICE"},
                                                   {PhoneNumber::Fax, "FAX"},
                                                   {PhoneNumber::Cell, "CELL"},
                                                   {PhoneNumber::Car, "CAR"},
                                                   {PhoneNumber::Pager, "PAGER"},
                                                   {PhoneNumber::Pref, "PREF"}}),
                          {phone.number()}));
    }
    for (const auto& address : a.addresses()) {
        const auto types = typeNames(address.type(), {std::pair{Address::Home, "HOME"},
                                                      {Address::Work, "WORK"},
                                                      {Address::Postal, "POSTAL"},
                                                      {Address::Pref, "PREF"}});
        lines.append(
            line(QStringLiteral("ADR"), types,
                 {address.postOfficeBox(), address.extended(), address.street(), address.locality(),
                  address.region(), address.postalCode(), address.country()}));
        lines.append(line(QStringLiteral("LABEL"), types, {address.label()}));
    }
    for (const auto& url : a.extraUrlList()) {
        const auto types =
            typeNames(url.type(), {std::pair{KContacts::ResourceLocatorUrl::Home, "HOME"},
                                   {KContacts::ResourceLocatorUrl::Work, "WORK"}});
        lines.append(line(QStringLiteral("URL"), types, {url.url().toString()}));
    }
    if (!a.url().url().isEmpty()) {
        lines.append(line(QStringLiteral("URL"), {}, {a.url().url().toString()}));
    }
    for (const auto& email : a.emailList()) {
        lines.append(line(QStringLiteral("EMAIL"), email.parameters().value(QStringLiteral("type")),
                          {email.mail()}));
    }
    for (const auto& impp : a.imppList()) {
        lines.append(line(QStringLiteral("IMPP"), {}, {impp.address().toString()}));
    }
    lines.append(line(QStringLiteral("NOTE"), {}, {a.note()}));
    if (a.birthday().isValid()) {
        // A birthday without a year is kept in a year ISO dates cannot show.
        const QDate day = a.birthday().date();
        const QString text = day.year() < 1 ? QStringLiteral("--%1-%2")
                                                  .arg(day.month(), 2, 10, QLatin1Char('0'))
                                                  .arg(day.day(), 2, 10, QLatin1Char('0'))
                                            : day.toString(Qt::ISODate);
        lines.append(line(QStringLiteral("BDAY"), {}, {text}));
    }
    for (const auto& custom : a.customs()) {
        // "APP-NAME:value", from the line X-APP-NAME.
        const auto colon = custom.indexOf(QLatin1Char(':'));
        lines.append(line(QStringLiteral("X-") + custom.left(colon), {}, {custom.mid(colon + 1)}));
    }
    lines.append(line(QStringLiteral("UID"), {}, {a.uid()}));
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: kcontacts_reader FILE.vcf\n", stderr);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    QJsonArray cards;
    for (const auto& addressee : KContacts::VCardConverter().parseVCards(file.readAll())) {
        cards.append(cardLines(addressee));
    }
    std::fputs(QJsonDocument(cards).toJson(QJsonDocument::Compact).constData(), stdout);
    return 0;
}
