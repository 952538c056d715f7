#pragma once
// Failures reported as values. Every store and platform operation that can fail
// answers a Status or a Result<T> carrying an error number and a description; a
// procedure ends on the first failure with need() and logs it under its label
// (see store/Session.h: logged() and skip()).
#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace rv {

struct Error {
    long long number = 0;
    QString description;
};

// Error numbers of the data layer that do not come from the database engine itself.
namespace err {
constexpr long long TypeMismatch = 13;
constexpr long long InvalidArgument = 3001;
constexpr long long NoCurrentRow = 3021;
constexpr long long ItemNotFound = 3265;
constexpr long long ObjectClosed = 3704;
constexpr long long RowNotFound = -2147217864;
constexpr long long FileError = 75;
} // namespace err

class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error e) : m_error(std::move(e)) {}
    static Status fail(long long number, QString description) {
        return Status(Error{number, std::move(description)});
    }
    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *m_error; }

private:
    std::optional<Error> m_error;
};

template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : m_v(std::move(value)) {}
    Result(Error e) : m_v(std::move(e)) {}
    Result(const Status& s) : m_v(s.error()) {}
    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    const Error& error() const { return std::get<1>(m_v); }
    T valueOr(T fallback) const { return ok() ? value() : fallback; }

private:
    std::variant<T, Error> m_v;
};

// Thrown by need() inside a procedure and caught by that same procedure's guard;
// it never crosses the event loop.
struct Abort {
    Error error;
};

inline void need(const Status& s) {
    if (!s.ok()) throw Abort{s.error()};
}

template <class T> T need(Result<T> r) {
    if (!r.ok()) throw Abort{r.error()};
    return std::move(r).value();
}

} // namespace rv
