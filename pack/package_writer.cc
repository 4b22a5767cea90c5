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

// The files' bytes end to end as they are stored: where each stored file begins and the
// families of the names it is stored under.
struct Stored {
  std::vector<std::uint64_t> positions;
  std::vector<std::vector<std::string>> keys;
};

// Appends the files' bytes to `*stream` and their entries to `table`. A file that repeats
// an earlier one (a font under two names, say) is stored once.
Stored StoreFiles(const std::vector<PackInput>& files, Table* table, std::string* stream) {
  Stored stored;
  std::map<Sha256::Digest, std::size_t> index;  // -> the index in stored.positions
  for (const PackInput& f : files) {
    FileEntry entry{f.name, f.contents.size(), stream->size(), f.mtime_ns, Sha256::Of(f.contents)};
    if (!f.contents.empty()) {
      auto [it, fresh] = index.emplace(entry.sha256, stored.positions.size());
      if (fresh) {
        stored.positions.push_back(stream->size());
        stored.keys.emplace_back();
        *stream += f.contents;
      } else {
        entry.position = stored.positions[it->second];
      }
      stored.keys[it->second].push_back(FamilyKey(f.name));
    }
    table->files.push_back(std::move(entry));
  }
  return stored;
}

}  // namespace

std::string FamilyKey(std::string_view name) {
  // A byte-wise cut: a double-byte character's second byte taken for `\` misleads only
  // this guess, never a name.
  std::size_t leaf = name.rfind('\\');
  leaf = leaf == std::string_view::npos ? 0 : leaf + 1;
  std::string key(name.substr(0, std::min(name.size(), leaf + 3)));
  for (char& c : key) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return key;
}

std::vector<std::uint64_t> BlockEnds(const std::vector<std::uint64_t>& positions,
                                     const std::vector<std::vector<std::string>>& keys,
                                     std::uint64_t total, std::uint32_t least, std::uint32_t most) {
  std::vector<std::uint64_t> ends;
  std::uint64_t start = 0;
  std::set<std::string> held;  // the families of the block being filled
  for (std::size_t i = 0; i <= positions.size(); ++i) {
    std::uint64_t at = i < positions.size() ? positions[i] : total;
    while (at - start > most) ends.push_back(start += most);  // a long file, cut inside
    bool related = false;
    if (i < keys.size()) {
      for (const std::string& k : keys[i]) related = related || held.count(k) != 0;
    }
    if (i < positions.size() && at - start >= least && at > start && !related) {
      ends.push_back(start = at);
      held.clear();
    }
    if (i < keys.size()) held.insert(keys[i].begin(), keys[i].end());
  }
  if (total > start) ends.push_back(total);
  return ends;
}

bool StoredCompressor::Compress(const std::vector<std::string_view>& blocks,
                                std::vector<std::string>* out) {
  out->clear();
  for (std::string_view b : blocks) out->emplace_back(b);
  return true;
}

Status WritePackage(std::string_view loader, const std::vector<PackInput>& files,
                    BlockCompressor& compressor, std::uint32_t block_size, std::string* out,
                    std::uint32_t least_block_size) {
  PeLayout layout;
  if (Status s = LoaderLayout(loader, &layout); !s.ok()) return s;
  if (Status s = CheckNames(files); !s.ok()) return s;
  block_size = std::clamp<std::uint32_t>(block_size, 1, kMaxBlockSize);

  Table table;
  table.method = compressor.method();
  table.loader_sha256 = LoaderDigest(loader, layout);
  std::string stream;
  Stored stored = StoreFiles(files, &table, &stream);
  std::uint32_t least = least_block_size == 0 ? block_size : std::min(least_block_size, block_size);
  std::vector<std::string_view> pieces;
  std::uint64_t at = 0;
  table.block_size = 1;
  for (std::uint64_t end :
       BlockEnds(stored.positions, stored.keys, stream.size(), least, block_size)) {
    pieces.push_back(std::string_view(stream).substr(at, end - at));
    table.block_size = std::max(table.block_size, static_cast<std::uint32_t>(end - at));
    at = end;
  }
  std::vector<std::string> compressed;
  if (!compressor.Compress(pieces, &compressed) || compressed.size() != pieces.size()) {
    return Status(StatusKind::kFailed, "compression");
  }
  table.lzma_props = compressor.props();

  std::size_t start = out->size();
  out->append(loader);
  std::uint64_t first = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    table.blocks.push_back(BlockEntry{out->size() - start, compressed[i].size(),
                                      static_cast<std::uint32_t>(pieces[i].size()),
                                      Sha256::Of(compressed[i]), first});
    first += pieces[i].size();
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
