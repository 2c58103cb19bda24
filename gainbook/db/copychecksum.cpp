#include "db/copychecksum.h"
#include "db/copycolumns.h"
#include "db/copyreader.h"

#include <openssl/evp.h>

#include <cstring>

namespace orv::gainbook::copy {

namespace {

void appendLittleEndian(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

} // namespace

void appendCanonical(std::string& out, ValueKind kind, const Value& value) {
    if (value.null) {
        out.push_back('\0');
        return;
    }
    switch (kind) {
    case ValueKind::Text:
        out.push_back('\x01');
        appendLittleEndian(out, value.text.size());
        out.append(value.text);
        break;
    case ValueKind::Integer:
        out.push_back('\x02');
        appendLittleEndian(out, static_cast<std::uint64_t>(value.integer));
        break;
    case ValueKind::Double: {
        out.push_back('\x03');
        std::uint64_t bits = 0;
        std::memcpy(&bits, &value.number, sizeof bits);
        appendLittleEndian(out, bits);
        break;
    }
    case ValueKind::Date:
        out.push_back('\x04');
        out.append(value.date.toSqlText());
        break;
    }
}

Digest::Digest() : context_(EVP_MD_CTX_new()) {
    EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context_), EVP_sha256(), nullptr);
}

Digest::~Digest() {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_));
}

void Digest::add(std::string_view bytes) {
    EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), bytes.data(), bytes.size());
}

std::string Digest::finish() {
    unsigned char hash[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context_), hash, &size);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
        out.push_back(kHex[hash[i] >> 4]);
        out.push_back(kHex[hash[i] & 0xF]);
    }
    return out;
}

std::optional<TableChecksum> checksumTable(odbc::Connection& connection, std::string_view table) {
    const auto kind = kindOf(connection);
    if (!kind)
        return std::nullopt;
    const Side side{connection, *kind};
    const std::vector<Column> columns = sortedByName(columnsOf(connection, table));
    if (columns.empty())
        return std::nullopt;
    RowReader reader(side, table, columns);
    Digest digest;
    startDigest(digest, table, columns);
    TableChecksum result;
    std::vector<Value> row;
    std::string canonical;
    while (reader.next(row, canonical)) {
        digest.add(canonical);
        ++result.rows;
    }
    if (!reader.ok())
        return std::nullopt;
    result.checksum = digest.finish();
    return result;
}

} // namespace orv::gainbook::copy
