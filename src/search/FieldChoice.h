#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

/// A group of fields the "Search in:" choice offers by one name.
struct FieldGroup
{
    QString name; ///< as the command line and the settings write it: "names"
    QString caption; ///< as the window shows it: "Names"
    quint32 fields = 0; ///< bit f for field f of searchedContactFields()
    /// Also IMPP and the X- messaging properties, when every property is read.
    bool messaging = false;
};

/// names, phones, emails, addresses, organisation, notes, internet: in that order.
const QList<FieldGroup> &fieldGroups();

/// Which values a search looks in: every value (the default), or the fields, groups of
/// fields and other properties chosen by name. A group's name, or a field's name as its
/// tag writes it, is compared in any letter case; any other name made of letters, digits,
/// "-", "_" and "/" is a property's name, and chooses the values of that property outside
/// the fields (read only when every property is). A property named as a field is the field.
class FieldChoice final
{
public:
    /// Every value.
    FieldChoice() = default;
    /// The values the names choose; none chooses every value. Names that are neither a
    /// group's, a field's nor a property's are added to unknown when it is given, and
    /// choose nothing.
    static FieldChoice fromNames(const QStringList &names, QStringList *unknown = nullptr);

    bool isAll() const { return m_all; }
    /// Whether field f of searchedContactFields() is searched.
    bool holdsField(std::size_t f) const { return m_all || ((m_fields >> f) & 1u) != 0; }
    /// Whether the values of another property, by its tag, are searched.
    bool holdsOther(QStringView tag) const;
    /// Whether any value of another property can be searched.
    bool wantsOthers() const { return m_all || m_messaging || !m_properties.isEmpty(); }
    /// Whether any value at all can be searched: some field, or another property when every
    /// property is read.
    bool wantsAny(bool otherProperties) const
    {
        return m_all || m_fields != 0 || (otherProperties && wantsOthers());
    }

private:
    bool m_all = true;
    quint32 m_fields = 0;
    bool m_messaging = false;
    QStringList m_properties; // in capitals
};

/// Whether a name is a field's or a group's, in any letter case.
bool isFieldOrGroupName(QStringView name);
/// Whether a name can be a property's: letters, digits, "-", "_" and "/".
bool isPropertyName(QStringView name);
/// The names of the groups, then of the fields, as "--field" takes them.
QStringList fieldChoiceNames();
/// The names one or more values of the command line list, split at commas and trimmed.
QStringList splitFieldNames(const QStringList &values);
