#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes a list document (root, record elements, <var name="Key">value</var>
// fields) straight into text, byte for byte as TinyXML's printer prints the
// same document built as a tree with a TAB indent and CR LF line ends. No tree
// is built, so an event costs a few appends instead of a few hundred nodes.
//
// The tree updates the first var of a key written twice; the writer cannot,
// and says so through Repeated(), after which its text is not to be used.
class XmlListWriter
{
public:
    // Starts the document: the declaration and the root's start tag.
    explicit XmlListWriter(const std::string& root);

    void BeginRecord(const std::string& tag);
    // A field of the open record; value is taken as it is (Windows-1251 bytes
    // stay), only the printer's escapes are applied.
    void AddVar(const char* key, const char* value, size_t length);
    void EndRecord();
    // Closes the root and hands the text over.
    std::string Finish();

    bool Repeated() const { return m_repeated; }

    // Whether the tree prints name as it is: letters, digits and underscores,
    // which the skeleton parse keeps whole.
    static bool IsPlainName(const std::string& name);

private:
    // Ends the start tag of an element that turned out to have children.
    void OpenPending();
    // Notes the key in the open record; sets m_repeated when it was there already.
    void NoteKey(const char* key, size_t length);

    std::string m_text;
    std::string m_root;
    std::string m_tag;
    bool m_rootOpen = false;  // the root's start tag still lacks its ">"
    bool m_recordOpen = false;
    bool m_recordHasVars = false;
    bool m_repeated = false;
    // The keys of the open record, each ended by a NUL, and where each starts
    // with its hash, so a repeat costs a string compare only on equal hashes.
    std::string m_keys;
    struct SeenKey
    {
        uint32_t hash;
        uint32_t offset;
    };
    std::vector<SeenKey> m_seen;
    uint64_t m_keyBits = 0;
};
