// Libraries opened at their first use: a library that is there opens and
// gives its functions; one that is not says why, naming it.
#include <gtest/gtest.h>

#if defined(HYDRO_HAVE_NETCDF) || defined(HYDRO_HAVE_GDAL)

#include <string>

#include "optional_library.hpp"

namespace {

using hydro::OptionalLibrary;

TEST(OptionalLibrary, OpensAtFirstUseOrSaysWhyNot) {
    struct Case {
        const char* file;
        const char* function;
        bool opens;
    };
    const Case cases[] = {
        {"libm.so.6", "cos", true},
        {"libm.so.6", "hydro_no_such_function", true},
        {"libhydro-no-such-library.so.7", "cos", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.function);
        OptionalLibrary library(c.file);
        EXPECT_EQ(library.symbol(c.function), nullptr);  // nothing before it is opened
        EXPECT_EQ(library.open(), c.opens);
        EXPECT_EQ(library.open(), c.opens);  // opened once, the answer kept
        const bool found = std::string(c.function) == "cos" && c.opens;
        EXPECT_EQ(library.symbol(c.function) != nullptr, found);
        EXPECT_EQ(library.missing(), nullptr);  // only what is asked for as needed counts
        EXPECT_EQ(library.function<double(double)>(c.function) != nullptr, found);
        EXPECT_EQ(library.missing() != nullptr, !found);  // a needed function not found is kept
        if (!c.opens) {
            EXPECT_NE(library.error().find(c.file), std::string::npos) << library.error();
        }
    }
}

}  // namespace

#endif
