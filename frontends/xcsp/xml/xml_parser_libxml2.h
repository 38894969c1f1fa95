// The XCSP reader fed by libxml2's SAX push parser: the input stream is read
// in 4096-byte chunks and pushed into the parser, whose events drive
// XMLParser. No exception crosses libxml2's frames: a callback that fails
// stops the parser and the exception is thrown again once the chunk has
// returned. Malformed XML, a document that ends before its instance element
// is closed and an empty input are errors; entity declarations are refused,
// so nothing is loaded from outside the document and no entity expands.
#pragma once

#include <exception>
#include <istream>
#include <string>
#include <vector>

#include "frontends/xcsp/xml/xml_parser.h"

struct _xmlParserCtxt;

namespace xcsp {

template <class Callback, class ASTFactory>
class XMLParser_libxml2 : public XMLParser<Callback, ASTFactory, UTF8String, AttributeList> {
public:
    typedef XMLParser<Callback, ASTFactory, UTF8String, AttributeList> Base;

    explicit XMLParser_libxml2(Callback& callback) : Base(callback) {}

    // Reads and parses the whole stream; returns 0. A std::runtime_error of
    // the reader or of the XML syntax is reported as "Exception at line N"
    // on standard output and thrown again as a std::runtime_error with the
    // same message; other exceptions (an unsupported construct, a read
    // error of the stream) pass through unchanged.
    int parse(std::istream& in);

    // ---- libxml2's SAX callbacks; the user data is this reader.
    static void startDocument(void* self);
    static void endDocument(void* self);
    static void startElement(void* self, const unsigned char* name, const unsigned char** atts);
    static void endElement(void* self, const unsigned char* name);
    static void characters(void* self, const unsigned char* text, int length);
    static void comment(void* self, const unsigned char* text);
    static void entityDecl(void* self, const unsigned char* name, int type,
                           const unsigned char* publicId, const unsigned char* systemId,
                           unsigned char* content);

private:
    // Keeps the first failure of a callback and stops the parser.
    void fail(std::exception_ptr error);
    // Throws the failure kept, or the XML error of the parser.
    [[noreturn]] void report(std::exception_ptr error, long line);

    _xmlParserCtxt* m_context = nullptr;
    // The open elements, outermost first, and whether the root was closed:
    // libxml2 reports a document that ends inside an element, or before its
    // root, as extra content at its end.
    std::vector<std::string> m_open;
    bool m_rootClosed = false;
    std::exception_ptr m_error;
    long m_errorLine = 0;
};

extern template class XMLParser_libxml2<CSPParserCallback, DefaultASTFactory>;

} // namespace xcsp
