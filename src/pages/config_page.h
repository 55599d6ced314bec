#pragma once

class CDcfArchive;
class CConfigTextReader;
class CTextOutFile;
class QorDoc;

// The interface every configuration page implements. An operation a page does not need does
// nothing.
class CConfigPage {
public:
    virtual ~CConfigPage() = default;

    // Writes (archive storing) or reads the page's .dcf record.
    virtual void ExchangeDcf(CDcfArchive& archive) { (void)archive; }
    virtual void LoadDefaults() {}
    virtual void SeriesChanged(int series) { (void)series; }
    virtual void LoadFromDocument(QorDoc& doc) { (void)doc; }
    virtual void QueueParameters(QorDoc& doc) { (void)doc; }
    virtual void StoreToDocument(QorDoc& doc, bool force) { (void)doc, (void)force; }
    virtual void WriteSection(CTextOutFile& file, QorDoc& doc) { (void)file, (void)doc; }
    // Throws ZUVException to abort the load.
    virtual void ReadSection(CConfigTextReader& reader) { (void)reader; }
    virtual void LinkDown() {}
    virtual void RestoreLinkBaud() {}
    virtual bool DiffersFromDocument(QorDoc& doc) { (void)doc; return false; }

    // Checks the controls' values and takes them over into the page's members. A failure shows
    // the page's own message and puts the focus on the offending control.
    virtual bool TakeControlValues() { return true; }
    // Ends an in-place edit still open on the page as Enter would. False when the edit's text
    // is refused: it then stays open, and what asked must not go on.
    virtual bool EndOpenEdit() { return true; }
};
