// Basic types of the HLA 1.3 C++ interface: the integer and boolean types, the exception base
// class and the macro that declares each exception class. RTI.hh includes this file inside
// namespace rti13; it is not meant to be included on its own.
#ifndef RTI13_BASETYPES_HH
#define RTI13_BASETYPES_HH

// The interface's dynamic exception specifications are ill-formed from C++17 on, so every one
// is written through this macro: the throw list before C++17, nothing from C++17 on.
#if __cplusplus < 201703L
#define RTI13_THROW(...) throw (__VA_ARGS__)
#else
#define RTI13_THROW(...)
#endif

// What the libraries export to federates: the interface's classes and functions. Everything
// else in them is hidden.
#define RTI13_EXPORT __attribute__((visibility("default")))

typedef unsigned short UShort;
typedef short Short;
typedef unsigned long ULong;
typedef long Long;
typedef double Double;
typedef float Float;

enum Boolean { RTI_FALSE = 0, RTI_TRUE };

// Base of every exception the interface throws. The reason is a private copy owned by the
// exception; _name points to the static name of the most derived class.
class RTI13_EXPORT Exception {
public:
  ULong _serial;
  char* _reason;
  const char* _name;

  Exception(const char* reason);
  Exception(ULong serial, const char* reason = 0);
  Exception(const Exception& other);
  virtual ~Exception();
  Exception& operator=(const Exception& other);

  // A heap copy of the same class, reason, serial and name; the caller deletes it.
  virtual Exception* clone() const = 0;
  // Throws a copy of this exception as its own class.
  virtual void rethrow() const = 0;

  // The names some federates use for the two operations above.
  Exception* cloneSelf() const { return clone(); }
  void throwSelf() const { rethrow(); }
};

// Declares one exception class. Its clone and rethrow live in the binding library, which
// therefore owns the class's type information.
#define RTI_EXCEPT(A)                                                 \
  class RTI13_EXPORT A : public Exception {                           \
  public:                                                             \
    static const char* _ex;                                           \
    A(const char* reason) : Exception(reason) { _name = _ex; }        \
    A(ULong serial, const char* reason = 0) : Exception(serial, reason) { _name = _ex; } \
    A(const A& other) : Exception(other) { _name = _ex; }             \
    A& operator=(const A& other) {                                    \
      Exception::operator=(other);                                    \
      return *this;                                                   \
    }                                                                 \
    Exception* clone() const;                                         \
    void rethrow() const;                                             \
  };

#endif
