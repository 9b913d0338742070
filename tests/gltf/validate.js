#!/usr/bin/env node
// Validates .gltf and .glb files with the Khronos glTF validator.
//   node validate.js [--allow CODE[@POINTER]]... FILE...
// Prints one line per file; any error, warning or info (an unsupported or
// unused extension, an unused object) fails the run with exit status 1,
// except the codes a caller allows: everywhere, or with @POINTER only where
// the issue's JSON pointer matches that regular expression (for example
// UNUSED_OBJECT@/attributes/TEXCOORD_ for UVs no texture of the material
// reads). Hints are reported in the count only.
// Side files (.bin) are read from beside the file.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

async function validate(file, allowed) {
  const data = new Uint8Array(fs.readFileSync(file));
  const report = await validator.validateBytes(data, {
    uri: path.basename(file),
    maxIssues: 100,
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.join(path.dirname(file), decodeURIComponent(uri)), (err, bytes) =>
          err ? reject(err.toString()) : resolve(new Uint8Array(bytes)));
      }),
  });
  const issues = report.issues;
  const isAllowed = (m) =>
    allowed.some((a) => {
      const at = a.indexOf('@');
      if (at < 0) return a === m.code;
      return a.slice(0, at) === m.code && new RegExp(a.slice(at + 1)).test(m.pointer || '');
    });
  const bad = issues.messages.filter((m) => m.severity <= 2 && !isAllowed(m));
  for (const m of bad) console.log(`${file}: ${['error', 'warning', 'info', 'hint'][m.severity]} ${m.code} at ${m.pointer}: ${m.message}`);
  console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ${issues.numInfos} infos`);
  return bad.length === 0;
}

async function main() {
  const args = process.argv.slice(2);
  const allowed = [];
  const files = [];
  for (let i = 0; i < args.length; ++i) {
    if (args[i] === '--allow') allowed.push(args[++i]);
    else files.push(args[i]);
  }
  if (files.length === 0) {
    console.error('usage: validate.js [--allow CODE[@POINTER]]... FILE...');
    process.exit(2);
  }
  let ok = true;
  for (const f of files) {
    try {
      ok = (await validate(f, allowed)) && ok;
    } catch (e) {
      console.log(`${f}: cannot validate: ${e}`);
      ok = false;
    }
  }
  process.exit(ok ? 0 : 1);
}

main();
