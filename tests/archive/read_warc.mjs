// Reads WARC files with warcio, an independent reader, and prints one JSON line per record: its
// file, type, headers, whether its block digest (and for a response its payload digest) matches
// its bytes, the payload's SHA-1 in hex, and for a response its status and the digest of its
// content decoded ("sha1:BASE32"). Usage: node read_warc.mjs NODE_MODULES FILE...
import { createReadStream } from 'node:fs';
import { createHash } from 'node:crypto';
import { basename, join } from 'node:path';
import { pathToFileURL } from 'node:url';

const [modules, ...files] = process.argv.slice(2);
const { WARCParser } = await import(pathToFileURL(join(modules, 'warcio', 'dist', 'index.js')).href);

const base32 = (bytes) => {
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZ234567';
  let bits = 0;
  let value = 0;
  let text = '';
  for (const byte of bytes) {
    value = (value << 8) | byte;
    bits += 8;
    while (bits >= 5) {
      text += alphabet[(value >>> (bits - 5)) & 31];
      bits -= 5;
    }
  }
  if (bits > 0) text += alphabet[(value << (5 - bits)) & 31];
  return text;
};
const sha1 = (bytes) => 'sha1:' + base32(createHash('sha1').update(bytes).digest());

for (const file of files) {
  // A second reading, as a replay tool reads: each response's content with its transfer and
  // content codings undone.
  const contents = [];
  for await (const record of new WARCParser(createReadStream(file), { parseHttp: true })) {
    contents.push(record.warcType === 'response'
      ? sha1(await record.readFully(true)) : null);
  }
  let index = 0;
  const parser = new WARCParser(createReadStream(file), { parseHttp: false });
  for await (const record of parser) {
    const block = await record.readFully(false);
    const headers = Object.fromEntries(record.warcHeaders.headers);
    const out = { file: basename(file), type: record.warcType, headers };
    out.blockDigestOK = !headers['warc-block-digest'] || headers['warc-block-digest'] === sha1(block);
    out.lengthOK = Number(headers['content-length']) === block.length;
    if (record.warcType === 'response') {
      const cut = Buffer.from(block).indexOf('\r\n\r\n');
      const payload = block.subarray(cut + 4);
      out.payloadDigestOK = headers['warc-payload-digest'] === sha1(payload);
      out.payloadSha1 = createHash('sha1').update(payload).digest('hex');
      out.contentSha1 = contents[index];
      out.status = Number(Buffer.from(block).subarray(0, cut).toString('latin1').split(' ')[1]);
    }
    ++index;
    console.log(JSON.stringify(out));
  }
}
