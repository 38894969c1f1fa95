#include "driver/xcsp_solver.h"

#include <libxml/xmlversion.h>

#include "frontends/xcsp/xcsp_callbacks.h"
#include "frontends/xcsp/xml/xml_parser_libxml2.h"

namespace qarn {

xcsp_solver::xcsp_solver(std::istream& input, const std::string&, const qarn_flags& options,
                         table_propagator_base::memory_manager& tables) {
    {
        xcsp_callbacks callbacks(*this, tables, options.m_all_different != 0);
        xcsp::XMLParser_libxml2<xcsp::CSPParserCallback, xcsp::DefaultASTFactory> reader(
            callbacks);
        xmlCheckVersion(20901);
        reader.parse(input);
    }
    options.apply(*this);
}

} // namespace qarn
