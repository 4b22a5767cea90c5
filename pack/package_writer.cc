#include "pack/package_writer.h"

#include <algorithm>
#include <map>
#include <set>

namespace setup::pack {
namespace {

Status LoaderLayout(std::string_view loader, PeLayout* layout) {
  std::uint32_t strings = 0;
  std::uint64_t symbols = SymbolTableEnd(loader);
  if (symbols != 0 && symbols <= loader.size() && loader.size() - symbols >= 4) {
    for (int i = 3; i >= 0; --i) {
      strings =
          strings << 8 | static_cast<std::uint8_t>(loader[symbols + static_cast<unsigned>(i)]);
    }
  }
  if (Status s = ParsePeLayout(loader, loader.size(), strings, layout); !s.ok()) return s;
  if (layout->image_end != loader.size() || layout->payload_end != loader.size()) {
    return Status(StatusKind::kUnsupported, "the loader has bytes after its image");
  }
  return Status::Ok();
}

Status CheckNames(const std::vector<PackInput>& files) {
  std::set<std::string_view> seen;
  for (const PackInput& f : files) {
    if (f.name.empty() || f.name.size() > kMaxNameSize || f.name.find('\0') != std::string::npos ||
        !seen.insert(f.name).second) {
      return Status(StatusKind::kInvalidName, f.name);
    }
  }
  return Status::Ok();
}

}  // namespace

bool StoredCompressor::Compress(const std::vector<std::string_view>& blocks,
                                std::vector<std::string>* out) {
  out->clear();
  for (std::string_view b : blocks) out->emplace_back(b);
  return true;
}

Status WritePackage(std::string_view loader, const std::vector<PackInput>& files,
                    BlockCompressor& compressor, std::uint32_t block_size, std::string* out) {
  PeLayout layout;
  if (Status s = LoaderLayout(loader, &layout); !s.ok()) return s;
  if (Status s = CheckNames(files); !s.ok()) return s;
  block_size = std::clamp<std::uint32_t>(block_size, 1, kMaxBlockSize);

  Table table;
  table.method = compressor.method();
  table.block_size = block_size;
  table.loader_sha256 = LoaderDigest(loader, layout);
  // A file that repeats an earlier one (a font under two names, say) is stored once.
  std::string stream;
  std::map<Sha256::Digest, std::uint64_t> stored;
  for (const PackInput& f : files) {
    FileEntry entry{f.name, f.contents.size(), stream.size(), f.mtime_ns, Sha256::Of(f.contents)};
    auto [it, fresh] = stored.emplace(entry.sha256, stream.size());
    if (fresh) {
      stream += f.contents;
    } else {
      entry.position = it->second;
    }
    table.files.push_back(std::move(entry));
  }
  std::vector<std::string_view> pieces;
  for (std::size_t at = 0; at < stream.size(); at += block_size) {
    pieces.push_back(std::string_view(stream).substr(at, block_size));
  }
  std::vector<std::string> compressed;
  if (!compressor.Compress(pieces, &compressed) || compressed.size() != pieces.size()) {
    return Status(StatusKind::kFailed, "compression");
  }
  table.lzma_props = compressor.props();

  std::size_t start = out->size();
  out->append(loader);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    table.blocks.push_back(BlockEntry{out->size() - start, compressed[i].size(),
                                      static_cast<std::uint32_t>(pieces[i].size()),
                                      Sha256::Of(compressed[i])});
    out->append(compressed[i]);
  }
  Trailer trailer;
  trailer.loader_size = loader.size();
  trailer.table_offset = out->size() - start;
  // The table compressed as well: its names share long folder prefixes.
  std::string raw = EncodeTable(table);
  std::vector<std::string> table_compressed;
  if (!compressor.Compress({raw}, &table_compressed) || table_compressed.size() != 1) {
    return Status(StatusKind::kFailed, "compression");
  }
  std::string encoded =
      EncodeEnvelope(compressor.method(), compressor.props(), raw.size(), table_compressed[0]);
  trailer.table_size = encoded.size();
  trailer.table_sha256 = Sha256::Of(encoded);
  out->append(encoded);
  // The whole a multiple of 8, so that a signer appends its table with no padding.
  out->append((8 - (out->size() - start + kTrailerSize) % 8) % 8, '\0');
  out->append(EncodeTrailer(trailer));
  return Status::Ok();
}

}  // namespace setup::pack
