#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

/// libphonenumber, as the search asks it: read a number as dialled in a region, tell
/// whether two numbers are the same line, write one in a standard form.
///
/// It lives in a module of the program's own (lib/quillory/modules beside the program's folder),
/// loaded at the first question: loaded with the program, it and the libraries it needs
/// took a fifth of every search's start, and most searches never ask it.
class PhoneLibrary
{
public:
    enum class Form { E164, International };

    /// A number as the library read or made it.
    class Number
    {
    public:
        virtual ~Number() = default;
        /// Its national significant number.
        virtual std::string national() const = 0;
        /// Whether it has a length that a number of its country can have.
        virtual bool isPossible() const = 0;
        virtual std::string format(Form form) const = 0;
        /// Whether the number the library reads in text is this one (an exact match, or
        /// the same national number where one of them has no country code).
        virtual bool isSameAs(const std::string &text) const = 0;
    };

    virtual ~PhoneLibrary() = default;

    /// The number text holds, read as dialled in region (a two-letter code, "ZZ" for
    /// none); none when the library reads no number there.
    virtual std::unique_ptr<Number> parse(const std::string &text,
                                          const std::string &region) const = 0;
    /// The number of a country calling code and a national number.
    virtual std::unique_ptr<Number> make(int countryCode, std::uint64_t national) const = 0;
    /// The main region of a country calling code; "ZZ" for none.
    virtual std::string regionOf(int countryCode) const = 0;
    /// The regions the library knows, by their two-letter codes.
    virtual std::set<std::string> regions() const = 0;

    /// The library, loaded at the first call; null when its module could not be loaded
    /// (then said once on standard error, and numbers are compared by their digits).
    static const PhoneLibrary *get();
};

/// The module's one entry, which answers its library. Its name carries the version of
/// this interface: a module built for another version (left from another build or
/// install) has no such entry and is not used. Raise the number with any change above.
#define QUILLORY_PHONE_ENTRY quillory_phone_library_1
