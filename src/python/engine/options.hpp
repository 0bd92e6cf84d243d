// The option tables as the package reads them: option_table() gives one tuple per option, from
// which the command line makes its options and the tests check every layer; preset_names() the
// preset names in their order.
#pragma once

#include "python/py_ref.hpp"

namespace boxwright::python {

PyMethodDef* option_table_method();
PyMethodDef* preset_names_method();

}  // namespace boxwright::python
