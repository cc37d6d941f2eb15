SELECT numero, nome, descricao, codigo, titulo
FROM softs, cds
where midia= :onumero and softs.midia = cds.codigo