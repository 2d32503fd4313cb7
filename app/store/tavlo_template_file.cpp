#include "tavlo_template_file.h"

#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_log.h"

#include <memory>
#include <mutex>

namespace {
std::unique_ptr<CTavloTemplateFile> g_instance;
std::mutex g_instanceLock;
} // namespace

CTavloTemplateFile& CTavloTemplateFile::Instance() {
    std::lock_guard<std::mutex> guard(g_instanceLock);
    if (!g_instance) {
        g_instance = std::make_unique<CTavloTemplateFile>();
        g_instance->Load();
    }
    return *g_instance;
}

void CTavloTemplateFile::Destroy() {
    std::lock_guard<std::mutex> guard(g_instanceLock);
    g_instance.reset();
}

CVornString CTavloTemplateFile::GetPath() {
    return CTavloPath::GetRoot() + "/template.txt";
}

bool CTavloTemplateFile::Load() {
    CVornString path = GetPath();
    CVornTextFile file;
    if (!file.Open(path.c_str(), CVornFile::MODE_READ))
        return false;
    RemoveAll();
    CVornString line;
    while (file.ReadLine(line)) {
        while (line.EndsWith("\r") || line.EndsWith("\n"))
            line = line.Left(line.GetLength() - 1);
        if (!line.IsEmpty())
            AddRow({line});
    }
    return true;
}

bool CTavloTemplateFile::Save() {
    CVornString text;
    for (int i = 0; i < GetRowCount(); ++i)
        text.FormatAdd("%s\r\n", GetTemplate(i).c_str());
    CVornString path = GetPath();
    if (!VornWriteFileAtomic(path.c_str(), text.view())) {
        VLOG(0, "CTavloTemplateFile::Save", "error %s", path.c_str());
        return false;
    }
    return true;
}

CVornString CTavloTemplateFile::FromSelection(const CVornString& text) {
    CVornString out;
    for (char c : text.view()) {
        if (c == '\r')
            continue;
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}
