#pragma once

namespace sentrel::test {

// One object for the whole test program: a copy given up in a system call
// may still use it after the test that made it has ended.
template <class T> T& Lasting()
{
    static T* object = new T();
    return *object;
}

} // namespace sentrel::test
