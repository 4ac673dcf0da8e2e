// The engine's exports as plain JavaScript calls: strings in and out, pixels
// copied out of the module's memory so that they outlive the next call.
// Loaded by the page's worker and, under Node, by the tests and benchmark.
'use strict';

function KorvoApi(module) {
  const withStrings = (strings, call) => {
    const pointers = strings.map((text) => {
      const bytes = module.lengthBytesUTF8(text) + 1;
      const pointer = module._malloc(bytes);
      module.stringToUTF8(text, pointer, bytes);
      return pointer;
    });
    try {
      return call(...pointers);
    } finally {
      pointers.forEach((pointer) => module._free(pointer));
    }
  };
  const text = () => module.UTF8ToString(module._korvo_text());
  // The last thumbnail or decode (offsets as engine.h lays EngineResult out).
  const pixels = () => {
    const at = module._korvo_result() >>> 2;
    const words = module.HEAPU32;
    const data = words[at + 5], bytes = words[at + 6];
    return {
      width: words[at], height: words[at + 1],
      pictureWidth: words[at + 2], pictureHeight: words[at + 3],
      paletteSwatch: words[at + 4] !== 0,
      pixels: module.HEAPU8.slice(data, data + bytes),
      palette: module.HEAPU8.slice(4 * (at + 7), 4 * (at + 7) + 768),
    };
  };
  const answer = (ok, value) => (ok ? value() : { error: text() });
  return {
    // { handle } or { error }.
    open: (path, name) => withStrings([path, name], (p, n) => {
      const handle = module._korvo_open(p, n);
      return handle !== 0 ? { handle } : { error: text() };
    }),
    // { kind, layout, entries: [{ name, decoded, file, position, stored, size, palette }] }
    listing: (handle) => answer(module._korvo_listing(handle), () => JSON.parse(text())),
    // The names korvo extract gives these entries together; "" where a name does not decode.
    outputNames: (handle, indices) => {
      const list = module._malloc(4 * Math.max(1, indices.length));
      module.HEAPU32.set(indices, list >>> 2);
      try {
        return answer(module._korvo_output_names(handle, list, indices.length), () => JSON.parse(text()));
      } finally {
        module._free(list);
      }
    },
    thumbnail: (handle, index, size) => answer(module._korvo_thumbnail(handle, index, size), pixels),
    // RGBA pixels, or with rgba false the palette indices and the palette.
    decode: (handle, index, rgba) => answer(module._korvo_decode(handle, index, rgba ? 1 : 0), pixels),
    close: (handle) => module._korvo_close(handle),
  };
}

if (typeof module !== 'undefined') module.exports = { KorvoApi };
