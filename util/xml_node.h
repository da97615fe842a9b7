#pragma once
// Handle onto one element of a parsed XML document. Copies share the document;
// the last handle frees it. All texts are ISO-8859-1 bytes in and out.
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct XMLResults {
    int error = 0;    // 0: no error (XMLNode::getError gives the message)
    int nLine = 0;    // where parsing stopped, from 1
    int nColumn = 0;  // from 1, counting input bytes
};

enum XMLElementType { eNodeChild, eNodeAttribute, eNodeText, eNodeOther };

class XMLNode {
public:
    struct Contents;

    XMLNode();  // empty handle
    ~XMLNode();
    XMLNode(const XMLNode&);
    XMLNode& operator=(const XMLNode&);

    // Parses the whole text and returns the first element named tag (empty when none,
    // with a non-zero error in results).
    static XMLNode parseString(const std::string& text, const char* tag, XMLResults* results);
    static const char* getError(int code);  // never null
    static bool isTagMismatch(int code);    // a closing tag names another element

    bool isEmpty() const;
    std::string getName() const;
    std::optional<std::string> getAttribute(const char* name, int index = 0) const;
    bool isAttributeSet(const char* name) const;
    // Content items in document order: attributes first, then child elements and text runs.
    int nElement() const;
    Contents enumContents(int i) const;
    XMLNode getChildNode(const char* name, int index = 0) const;
    int nText() const;
    std::optional<std::string> getText(int i = 0) const;  // i-th text run
    // Where the element's tag (or its i-th text run) starts in the parser's copy of
    // the text, for XMLPositions; -1 when the parser cannot tell.
    long getOffset() const;
    long getTextOffset(int i) const;

private:
    struct Document;
    // Where the last lookup by index ended, so that walking i = 0, 1, 2... stays linear.
    struct Cursor {
        int index = -1;
        void* item = nullptr;  // pugi attribute or node struct at index
    };
    XMLNode(std::shared_ptr<Document> document, void* node);
    void countContents() const;
    void* itemAt(int i) const;
    void* textAt(int i) const;

    std::shared_ptr<Document> m_document;
    void* m_node = nullptr;  // pugi::xml_node_struct* inside m_document
    // The tree never changes after parsing, so counts and cursors stay valid.
    mutable int m_attributeCount = -1;
    mutable int m_itemCount = -1;
    mutable int m_textCount = -1;
    mutable Cursor m_itemCursor;
    mutable Cursor m_textCursor;
};

// Turns the offsets of getOffset back into line and column (from 1, counting
// input bytes) of the text that was given to parseString.
class XMLPositions {
public:
    explicit XMLPositions(const std::string& text);
    bool Locate(long offset, int& line, int& column) const;  // false for -1

private:
    struct Line {
        long offset;   // parser offset of the line's first byte
        size_t index;  // its index in m_source
    };
    std::string m_source;  // the text as the parser saw it
    std::vector<bool> m_inserted;
    std::vector<Line> m_lines;
};

struct XMLNode::Contents {
    XMLElementType type = eNodeOther;
    XMLNode child;     // for eNodeChild
    std::string text;  // for eNodeText (the run) and eNodeAttribute (the attribute's name)
};
