// The libxml2 binding of the XCSP reader. The SAX handler holds only the
// callbacks below: libxml2's own entries build a document tree in the parser
// context and would take this reader, the user data, for that context.
#include "frontends/xcsp/xml/xml_parser_libxml2.h"

#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include "frontends/common/scanner_runtime.h"

namespace xcsp {

namespace libxml2_detail {

constexpr std::size_t CHUNK = 4096;

// Frees the context and the document libxml2 may have started in it on its
// own (a document type declaration makes one), which the context does not
// own.
struct context_deleter {
    void operator()(xmlParserCtxtPtr context) const {
        if (context->myDoc)
            xmlFreeDoc(context->myDoc);
        context->myDoc = nullptr;
        xmlFreeParserCtxt(context);
    }
};

// libxml2's message without its line end.
std::string errorMessage(const xmlError* error) {
    std::string message = error && error->message ? error->message : "malformed XML document";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

} // namespace libxml2_detail

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::fail(std::exception_ptr error) {
    if (!m_error) {
        m_error = error;
        m_errorLine = m_context && m_context->input ? m_context->input->line : 0;
    }
    if (m_context)
        xmlStopParser(m_context);
}

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::report(std::exception_ptr error, long line) {
    try {
        std::rethrow_exception(error);
    } catch (const std::runtime_error& e) {
        std::cout << "Exception at line " << line << std::endl;
        throw std::runtime_error(e.what());
    }
}

// Each callback runs the reader inside a handler: the first exception stops
// the parser and is kept for parse().
#define QARN_SAX_GUARDED(statement)                                                                \
    auto* parser = static_cast<XMLParser_libxml2*>(self);                                      \
    if (parser->m_error)                                                                       \
        return;                                                                                \
    try {                                                                                      \
        statement;                                                                             \
    } catch (...) {                                                                            \
        parser->fail(std::current_exception());                                                \
    }

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::startDocument(void* self) {
    QARN_SAX_GUARDED(parser->Base::startDocument())
}

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::endDocument(void*) {}

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::startElement(void* self, const unsigned char* name,
                                                           const unsigned char** atts) {
    QARN_SAX_GUARDED({
        const char* element = reinterpret_cast<const char*>(name);
        parser->m_open.emplace_back(element);
        parser->Base::startElement(element,
                                   AttributeList(reinterpret_cast<const char* const*>(atts)));
    })
}

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::endElement(void* self, const unsigned char* name) {
    QARN_SAX_GUARDED({
        if (!parser->m_open.empty())
            parser->m_open.pop_back();
        parser->m_rootClosed = parser->m_open.empty();
        parser->Base::endElement(reinterpret_cast<const char*>(name));
    })
}

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::characters(void* self, const unsigned char* text,
                                                         int length) {
    QARN_SAX_GUARDED(parser->Base::characters(UTF8String(text, text + length)))
}

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::comment(void*, const unsigned char*) {}

template <class Callback, class ASTFactory>
void XMLParser_libxml2<Callback, ASTFactory>::entityDecl(void* self, const unsigned char*, int,
                                                         const unsigned char*,
                                                         const unsigned char*, unsigned char*) {
    QARN_SAX_GUARDED(throw std::runtime_error("entity declarations are not supported"))
}

#undef QARN_SAX_GUARDED

template <class Callback, class ASTFactory>
int XMLParser_libxml2<Callback, ASTFactory>::parse(std::istream& in) {
    using namespace libxml2_detail;
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = 1; // SAX version 1: start tags with name/value pairs
    handler.startDocument = &startDocument;
    handler.endDocument = &endDocument;
    handler.startElement = &startElement;
    handler.endElement = &endElement;
    handler.characters = &characters;
    handler.ignorableWhitespace = &characters;
    handler.cdataBlock = &characters;
    handler.comment = &comment;
    handler.entityDecl = &entityDecl;
    // No error or warning handler: libxml2 prints nothing, parse() reports.

    char buffer[CHUNK];
    std::size_t count = qarn::scanner_read(&in, buffer, CHUNK);
    if (count == 0)
        throw std::runtime_error("Document is empty");
    m_error = nullptr;
    m_open.clear();
    m_rootClosed = false;
    std::unique_ptr<xmlParserCtxt, context_deleter> context(xmlCreatePushParserCtxt(
        &handler, this, buffer, static_cast<int>(count), nullptr));
    if (!context)
        throw std::bad_alloc();
    m_context = context.get();
    struct forget_context {
        _xmlParserCtxt*& context;
        ~forget_context() { context = nullptr; }
    } forget{m_context};
    xmlCtxtUseOptions(m_context, XML_PARSE_NONET);

    int status = 0;
    bool last = false;
    do {
        count = 0;
        if (in.good())
            count = qarn::scanner_read(&in, buffer, CHUNK);
        last = count == 0;
        status = xmlParseChunk(m_context, buffer, static_cast<int>(count), last ? 1 : 0);
        if (m_error)
            report(m_error, m_errorLine);
        if (status != 0) {
            const xmlError* error = xmlCtxtGetLastError(m_context);
            const long line = error ? error->line : (m_context->input ? m_context->input->line : 0);
            std::string message = errorMessage(error);
            if (error && error->code == XML_ERR_DOCUMENT_END && !m_rootClosed)
                message = m_open.empty() ? "the document ended early, before its root element"
                                         : "the document ended early, inside <" + m_open.back() +
                                               ">";
            report(std::make_exception_ptr(std::runtime_error(message)), line);
        }
    } while (!last);
    if (!this->instanceComplete())
        report(std::make_exception_ptr(
                   std::runtime_error("the document has no complete <instance> element")),
               m_context->input ? m_context->input->line : 0);
    return 0;
}

template class XMLParser_libxml2<CSPParserCallback, DefaultASTFactory>;

} // namespace xcsp
