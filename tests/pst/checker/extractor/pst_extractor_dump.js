#!/usr/bin/env node
// Prints what the npm package pst-extractor reads from a PST, as JSON, the way a program built on
// it does: the folder tree through each folder's hierarchy table, then every item of the first
// folder named "Contacts" through that folder's contents table, cursor by cursor.
//
// Usage: pst_extractor_dump.js FILE; exit status 1 when the reader fails or the contents table
// yields another number of items than the folder's content count.
// {"folders": ["/Top of Personal Folders/Contacts", ...], "contentCount": n,
//  "contacts": [{"class": ..., "0x3A06": value, "lid:0x8083": value, "name:...": value}]}
// Strings are texts, times ISO 8601 dates, integers and booleans numbers, binaries hex.
'use strict';
const { PSTFile } = require('pst-extractor');

const PSETID_ADDRESS_INDEX = 2; // the reader's own index of the address property set

function hex4(n) {
    return '0x' + n.toString(16).toUpperCase().padStart(4, '0');
}

function placeName(id) {
    if (id < 0x8000) {
        return hex4(id);
    }
    const numeric = PSTFile.getNameToIdMapKey(id);
    if (numeric) {
        const set = numeric.high;
        return (set === PSETID_ADDRESS_INDEX ? 'lid:' : 'set' + set + ':') + hex4(numeric.low >>> 0);
    }
    const name = PSTFile.nodeMap.idToStringName.get(id);
    return name === undefined ? 'unnamed:' + hex4(id) : 'name:' + name;
}

function values(item) {
    const out = { class: item.messageClass };
    for (const [id, entry] of item.pstTableItems) {
        const key = placeName(id);
        switch (entry.entryValueType) {
        case 0x001f:
            out[key] = item.getStringItem(id);
            break;
        case 0x0040: {
            const date = item.getDateItem(id);
            out[key] = date ? date.toISOString().slice(0, 10) : null;
            break;
        }
        case 0x0003:
        case 0x000b:
            out[key] = item.getIntItem(id);
            break;
        case 0x0102: {
            const data = item.getBinaryItem(id);
            out[key] = data ? data.toString('hex') : null;
            break;
        }
        default:
            break;
        }
    }
    return out;
}

function walk(folder, path, found) {
    if (!folder.hasSubfolders) {
        return;
    }
    for (const child of folder.getSubFolders()) {
        const here = path + '/' + child.displayName;
        found.folders.push(here);
        if (found.contacts === undefined && child.displayName === 'Contacts') {
            found.contentCount = child.contentCount;
            found.contacts = [];
            for (let item = child.getNextChild(); item !== null; item = child.getNextChild()) {
                found.contacts.push(values(item));
            }
        }
        walk(child, here, found);
    }
}

function main(argv) {
    const file = new PSTFile(argv[2]);
    const found = { folders: [] };
    walk(file.getRootFolder(), '', found);
    process.stdout.write(JSON.stringify(found, null, 1) + '\n');
    if (found.contacts !== undefined && found.contacts.length !== found.contentCount) {
        process.stderr.write(argv[2] + ': the contents table yields ' + found.contacts.length +
                             ' of ' + found.contentCount + ' items\n');
        return 1;
    }
    return 0;
}

try {
    process.exitCode = main(process.argv);
} catch (error) {
    process.stderr.write(process.argv[2] + ': pst-extractor cannot read the file: ' +
                         (error && error.stack ? error.stack : error) + '\n');
    process.exitCode = 1;
}
