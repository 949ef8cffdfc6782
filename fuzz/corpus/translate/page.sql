SELECT TOP 50 id,f_1,f_2,picname,docname FROM fid_Main WHERE (1=1) AND (ID >(SELECT MAX(id) FROM (SELECT TOP 100 id  FROM fid_Main WHERE (1=1) ORDER BY id) AS T))   ORDER BY id 
