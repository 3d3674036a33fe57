#pragma once

#include <QCoreApplication>

namespace aurex::test {

// One application object for the whole test program: the link's waits run its event loop.
inline QCoreApplication& EnsureCoreApplication()
{
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "aurex-link-test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
    return *QCoreApplication::instance();
}

} // namespace aurex::test
