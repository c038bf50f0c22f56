// The C++ runtime's throw helpers, which the standard containers and strings
// call, and its terminate handler, replaced by small ones of our own. All of
// the helpers are defined here, so that the library's file of them is never
// linked beside ours.
//
// The library's versions build their messages with its narrow string class
// and print with a name demangler; linked statically they bring about 150 KB
// of code that this program uses for nothing else, half of its size. A
// request too long for a container is reported as the lack of memory that it
// is, which every command already handles; the other errors can only be bugs
// and are thrown as the base exception. A GUI program has no console for the
// verbose terminate message, so termination just aborts.
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace std
{
void __throw_bad_exception()
{
    throw bad_exception();
}

void __throw_bad_cast()
{
    throw bad_cast();
}

void __throw_bad_typeid()
{
    throw bad_typeid();
}

void __throw_bad_alloc()
{
    throw bad_alloc();
}

void __throw_bad_array_new_length()
{
    throw bad_array_new_length();
}

void __throw_length_error(const char*)
{
    throw bad_alloc();
}

void __throw_logic_error(const char*)
{
    throw exception();
}

void __throw_out_of_range(const char*)
{
    throw exception();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    throw exception();
}

void __throw_domain_error(const char*)
{
    throw exception();
}

void __throw_invalid_argument(const char*)
{
    throw exception();
}

void __throw_runtime_error(const char*)
{
    throw exception();
}

void __throw_range_error(const char*)
{
    throw exception();
}

void __throw_overflow_error(const char*)
{
    throw exception();
}

void __throw_underflow_error(const char*)
{
    throw exception();
}
} // namespace std

namespace __gnu_cxx
{
void __verbose_terminate_handler()
{
    abort();
}
} // namespace __gnu_cxx
