// A configuration file ("setup.xml") read as a tree. Its content is the device maker's: any
// well-formed XML document is taken, whatever its elements. Reading is bounded: at most
// kMostConfigBytes, elements nested at most kMostConfigDepth deep, and a document whose DTD declares
// any entity is refused. The encoding its declaration names is decoded: UTF-8, UTF-16 and
// ISO-8859-1 (and US-ASCII), and windows-1250 and ISO-8859-2; another one is refused naming it.
#pragma once
#include <QByteArray>
#include <QString>

#include <memory>
#include <string>
#include <utility>
#include <vector>

constexpr qsizetype kMostConfigBytes = 16 * 1024 * 1024;
constexpr int kMostConfigDepth = 256;

// A stretch of the decoded text (QString positions), so that a value can be put back in place.
// An element's text span covers its text from the first to the last character that is not white
// space, as written (references and CDATA markers included); an element without text has an
// empty span where its content starts. Start is -1 where no single stretch holds the value: an
// element written as <x/>, or text in several pieces (around child elements or comments).
struct TConfigSpan {
    qsizetype Start = -1;
    qsizetype Length = 0;
};

struct TConfigAttribute {
    std::string NamespaceURI;
    std::string Name;   // local name
    std::string Value;  // as decoded, UTF-8
    TConfigSpan Span;   // the value between its quotes
};

struct TConfigElement {
    std::string NamespaceURI;
    std::string Name;  // local name
    std::vector<TConfigAttribute> Attributes;
    std::string Text;  // its own text (CDATA included) trimmed; whitespace-only text is none
    TConfigSpan TextSpan;
    std::vector<TConfigElement> Children;
};

struct TConfigDocument {
    bool Ok = false;
    // Why it could not be read (translated): too large, too deep, declares an entity, an
    // encoding named, not well-formed.
    std::string Error;
    int Line = 0;    // where a document that is not well-formed fails (1-based; 0 none)
    int Column = 0;  // the column of the last character read there (1-based)
    std::string Encoding;  // as its declaration names it ("UTF-8" when it names none, "UTF-16" for a
                           // file in UTF-16 that names none)
    QString Decoded;       // the whole document decoded (what the spans point into), without the
                           // byte order mark; line ends as written
    TConfigElement Root;
};

TConfigDocument ReadConfig(const QByteArray& bytes);
// Two configurations read at once, the right one on a thread of its own (as a compare of two
// devices reads them): each as ReadConfig reads it alone.
std::pair<TConfigDocument, TConfigDocument> ReadConfigPair(const QByteArray& left, const QByteArray& right);
// The file read whole (at most kMostConfigBytes; a larger one is refused unread) and then as above.
TConfigDocument ReadConfigFile(const std::string& path);
