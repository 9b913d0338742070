// Talking to the kurvo view server: JSON calls with the session's token, and
// the binary geometry frames (see source/host/viewer/geometry_frame.h).
const token = new URLSearchParams(location.search).get('token') || '';

function headers(extra = {}) {
  return { 'X-Kurvo-Token': token, ...extra };
}

export async function getJson(path) {
  const res = await fetch(path, { headers: headers() });
  const body = await res.json();
  if (!res.ok) throw new Error(body.error || res.statusText);
  return body;
}

export async function getBinary(path) {
  const res = await fetch(path, { headers: headers() });
  if (!res.ok) throw new Error((await res.json()).error || res.statusText);
  return res.arrayBuffer();
}

// POSTs a JSON body; answers {ok, json} or {ok, buffer} for binary answers.
export async function post(path, body) {
  const res = await fetch(path, {
    method: 'POST',
    headers: headers({ 'Content-Type': 'application/json' }),
    body: JSON.stringify(body),
  });
  const type = res.headers.get('Content-Type') || '';
  if (type.startsWith('application/json')) return { ok: res.ok, json: await res.json() };
  // The host's own time for the answer, from edit received to points sent.
  const timing = res.headers.get('Server-Timing') || '';
  const ms = (name) => { const m = new RegExp(`${name};dur=([0-9.]+)`).exec(timing); return m ? Number(m[1]) : undefined; };
  return { ok: res.ok, buffer: await res.arrayBuffer(), hostMs: ms('host'), hostCpuMs: ms('cpu') };
}

// "KVF1", u32 header length, JSON header, then the arrays it refers to.
export function parseFrame(buffer) {
  const view = new DataView(buffer);
  const magic = String.fromCharCode(...new Uint8Array(buffer, 0, 4));
  if (magic !== 'KVF1') throw new Error('not a geometry frame');
  const length = view.getUint32(4, true);
  const header = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 8, length)));
  const base = 8 + length;
  return {
    header,
    floats: (ref) => new Float32Array(buffer, base + ref.offset, ref.count),
    uints: (ref) => new Uint32Array(buffer, base + ref.offset, ref.count),
  };
}
